// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QIcon;
class QLabel;

namespace rxdeck::memories {

// The help window Memories_help: how to add a memory, and where the workbook is for
// editing it in a spreadsheet program. A fixed-size, modeless window with no code of
// its own; it closes with its close box and can be shown again.
class MemoriesHelp : public QDialog
{
    Q_OBJECT

public:
    // workbookFolder is the folder that holds Memories.xls.
    MemoriesHelp(const QIcon& icon, const QString& workbookFolder, QWidget* parent = nullptr);

    QLabel* label1() const { return label1_; }
    QLabel* label2() const { return label2_; }

private:
    QLabel* label1_;
    QLabel* label2_;
};

} // namespace rxdeck::memories
