// SPDX-License-Identifier: GPL-3.0-or-later
#include "memories/list/memorieshelp.h"

#include <QDir>
#include <QIcon>
#include <QLabel>

namespace rxdeck::memories {
namespace {

QLabel* makeLabel(const QString& name, const QString& text, const QRect& geometry, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

} // namespace

MemoriesHelp::MemoriesHelp(const QIcon& icon, const QString& workbookFolder, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_label1(makeLabel(QStringLiteral("Label1"),
                         QStringLiteral("To add a new memory, scroll to the bottom of the list "
                                        "and type details in empty cells. Finish by clicking an "
                                        "adjacent row."),
                         QRect(24, 8, 361, 65), this)),
      m_label2(makeLabel(QStringLiteral("Label2"),
                         QStringLiteral("You can also edit the file, Memories.xls in the %1 "
                                        "folder using MSExcel.")
                             .arg(QDir::toNativeSeparators(workbookFolder)),
                         QRect(24, 80, 369, 65), this))
{
    setObjectName(QStringLiteral("Memories_help"));
    setWindowTitle(QStringLiteral("Memories help"));
    setWindowIcon(icon);
    setModal(false);
    setFixedSize(402, 147); // 6030 x 2205 twips

    QFont labelFont = font();
    labelFont.setPointSize(12);
    m_label1->setFont(labelFont);
    m_label2->setFont(labelFont);
    // The folder is worth copying into a file dialog.
    m_label2->setTextInteractionFlags(Qt::TextSelectableByMouse);
}

} // namespace rxdeck::memories
