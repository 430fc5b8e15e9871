// SPDX-License-Identifier: GPL-3.0-or-later
#include "memories/workbook/workbook.h"

namespace rxdeck::workbook {

Sheet* Workbook::sheet(const QString& name)
{
    for (Sheet& s : sheets)
        if (s.name == name)
            return &s;
    return nullptr;
}

const Sheet* Workbook::sheet(const QString& name) const
{
    for (const Sheet& s : sheets)
        if (s.name == name)
            return &s;
    return nullptr;
}

} // namespace rxdeck::workbook
