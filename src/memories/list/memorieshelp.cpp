// SPDX-License-Identifier: GPL-3.0-or-later
#include "memories/list/memorieshelp.h"

#include <algorithm>
#include <QDir>
#include <QFontMetrics>
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

// A path longer than a line may break after each separator. A path that fits stays
// as it is, so a copy of it pastes into a file dialog unchanged.
QString breakable(QString path, const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(path) <= width)
        return path;
    path.replace(QLatin1Char('/'), QStringLiteral("/\u200B"));
    path.replace(QLatin1Char('\\'), QStringLiteral("\\\u200B"));
    return path;
}

} // namespace

MemoriesHelp::MemoriesHelp(const QIcon& icon, const QString& workbookFolder, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      label1_(makeLabel(QStringLiteral("Label1"),
                        QStringLiteral("To add a new memory, scroll to the bottom of the list "
                                       "and type details in empty cells. Finish by clicking an "
                                       "adjacent row."),
                        QRect(24, 8, 361, 65), this)),
      label2_(makeLabel(QStringLiteral("Label2"), QString(), QRect(24, 80, 369, 65), this))
{
    setObjectName(QStringLiteral("Memories_help"));
    setWindowTitle(QStringLiteral("Memories help"));
    setWindowIcon(icon);
    setModal(false);
    QFont labelFont = font();
    labelFont.setPointSize(12);
    label1_->setFont(labelFont);
    label2_->setFont(labelFont);
    label2_->setText(QStringLiteral("You can also edit the file, Memories.xls in the %1 "
                                    "folder using a spreadsheet program.")
                         .arg(breakable(QDir::toNativeSeparators(workbookFolder),
                                        QFontMetrics(labelFont), label2_->width())));
    // 6030 x 2205 twips, taller where a long folder path needs more lines.
    for (QLabel* label : {label1_, label2_})
        label->setFixedHeight(std::max(label->height(), label->heightForWidth(label->width())));
    label2_->move(label2_->x(), std::max(label2_->y(), label1_->geometry().bottom() + 8));
    setFixedSize(402, std::max(147, label2_->geometry().bottom() + 3));
    // The folder is worth copying into a file dialog.
    label2_->setTextInteractionFlags(Qt::TextSelectableByMouse);
}

} // namespace rxdeck::memories
