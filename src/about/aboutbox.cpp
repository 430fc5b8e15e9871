// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/aboutbox.h"

#include "shell/appicon.h"

#include <QLabel>
#include <QPalette>
#include <QPushButton>

namespace rxdeck {

namespace {

constexpr QSize clientSize(382, 237);

QLabel* makeLabel(QWidget* parent, const QString& name, const QRect& geometry)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    return label;
}

// A straight line drawn as a filled strip, one or two pixels thick.
QWidget* makeLine(QWidget* parent, const QString& name, const QRect& geometry, const QColor& colour)
{
    auto* line = new QWidget(parent);
    line->setObjectName(name);
    line->setGeometry(geometry);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, colour);
    line->setPalette(palette);
    return line;
}

} // namespace

AboutBox::AboutBox(QWidget* parent, const ProgramInfo& info)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setFixedSize(clientSize);
    setWindowIcon(appIcon());

    // The OK button is created first so that it comes first in the tab order.
    auto* ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setGeometry(283, 175, 84, 23);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QWidget::close);

    QLabel* icon = makeLabel(this, QStringLiteral("picIcon"), QRect(16, 16, 36, 36));
    icon->setPixmap(appIconPixmap());

    QLabel* title = makeLabel(this, QStringLiteral("lblTitle"), QRect(70, 16, 259, 32));
    QFont titleFont = title->font();
    titleFont.setPointSize(14);
    titleFont.setBold(true);
    title->setFont(titleFont);

    QLabel* version = makeLabel(this, QStringLiteral("lblVersion"), QRect(70, 52, 259, 15));

    QLabel* text = makeLabel(this, QStringLiteral("lblDescription"), QRect(70, 75, 259, 78));
    text->setWordWrap(true);
    text->setText(QStringLiteral("Written by Tamsk.\n\n"
                                 "Before use, set the receiver to RS-232 at 9600 baud "
                                 "with all its DIP switches up."));

    // Etched separator: a grey line with a white one just below and to the right.
    makeLine(this, QStringLiteral("Line1_1"), QRect(6, 163, 372, 1), QColor(128, 128, 128));
    makeLine(this, QStringLiteral("Line1_0"), QRect(7, 164, 371, 2), Qt::white);

    // Load steps: caption, version line, title.
    setWindowTitle(QStringLiteral("About ") + info.title);
    version->setText(info.versionLine());
    title->setText(info.title);

    ok->setFocus();
}

} // namespace rxdeck
