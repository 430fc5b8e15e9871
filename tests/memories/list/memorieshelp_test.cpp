// SPDX-License-Identifier: GPL-3.0-or-later
#include "memories/list/memorieshelp.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QIcon>
#include <QLabel>

namespace rxdeck::memories {
namespace {

TEST(MemoriesHelp, NamesTheRealFolderAndItsTextFitsTheFixedWindow)
{
    const QString folder = QStringLiteral("/home/u/.local/share/Rxdeck");
    MemoriesHelp help(QIcon(), folder);
    help.show();
    EXPECT_EQ(help.label2()->text(), "You can also edit the file, Memories.xls in the " +
                                         QDir::toNativeSeparators(folder) +
                                         " folder using MSExcel.");
    EXPECT_FALSE(help.isModal());
    EXPECT_EQ(help.minimumSize(), help.maximumSize());
    for (const QLabel* label : {help.label1(), help.label2()})
        EXPECT_LE(label->heightForWidth(label->width()), label->height());
}

} // namespace
} // namespace rxdeck::memories
