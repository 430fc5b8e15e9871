// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/form1.h"

#include "link/portmap.h"
#include "shell/accessibility.h"
#include "shell/appicon.h"
#include "shell/panelbuilder.h"
#include "shell/panelbuttons.h"
#include "shell/restingdisplay.h"
#include "shell/textfit.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <set>

namespace rxdeck {
namespace {

// The panel's background with its decorative lines.
class PanelSurface : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(0, 64, 0));
        struct Line
        {
            int x1, y1, x2, y2;
            QColor colour;
        };
        const QColor grey(192, 192, 192);
        const Line lines[] = {
            {120, 120, 4440, 120, grey},
            {120, 2760, 120, 120, grey},
            {9720, 120, 9720, 8400, grey},
            {120, 8400, 14160, 8400, palette().color(QPalette::Window)},
        };
        for (const Line& line : lines) {
            painter.setPen(QPen(line.colour, 3));
            painter.drawLine(px(line.x1), px(line.y1), px(line.x2), px(line.y2));
        }
    }
};

struct TimerSpec
{
    int number;
    int interval;
};

// The main window's keys, wherever the focus is in it. Each acts as the mouse does on
// its control; the controls' descriptions and tooltips name them.
enum class Does
{
    Step,       // one step of a tuning button
    Click,      // a click of a button
    FocusEntry, // to the direct-entry box
    FocusMemories,
    UndoDelete, // of a memory
};

struct ShortcutSpec
{
    QKeyCombination keys;
    Does does;
    int command = 0;
};

constexpr ShortcutSpec shortcuts[] = {
    {Qt::CTRL | Qt::Key_Up, Does::Step, 13},
    {Qt::CTRL | Qt::Key_Down, Does::Step, 14},
    {Qt::CTRL | Qt::Key_PageUp, Does::Step, 35},
    {Qt::CTRL | Qt::Key_PageDown, Does::Step, 36},
    {Qt::CTRL | Qt::SHIFT | Qt::Key_Up, Does::Step, 15},
    {Qt::CTRL | Qt::SHIFT | Qt::Key_Down, Does::Step, 16},
    {Qt::CTRL | Qt::Key_Return, Does::Click, 1},
    {Qt::ControlModifier | Qt::KeypadModifier | Qt::Key_Enter, Does::Click, 1},
    {QKeyCombination(Qt::Key_F5), Does::Click, 23},
    {QKeyCombination(Qt::Key_F7), Does::Click, 37},
    {QKeyCombination(Qt::Key_F8), Does::Click, 40},
    {Qt::CTRL | Qt::Key_L, Does::FocusEntry},
    {Qt::CTRL | Qt::Key_M, Does::FocusMemories},
    {Qt::CTRL | Qt::Key_Z, Does::UndoDelete},
};

constexpr TimerSpec timers[] = {{1, 100}, {2, 150}, {3, 150}, {4, 150},  {5, 150},  {6, 150},
                                {7, 150}, {8, 150}, {9, 150}, {10, 150}, {11, 150}, {12, 200}};

} // namespace

void Form1::closeEvent(QCloseEvent* event)
{
    if (memories_.mayClose && !memories_.mayClose()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

Form1::Form1(const MemoryPlaceMaker& makeMemories, std::span<const WrittenTextTable> texts,
             QWidget* parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Tamsk     Rxdeck  V2.2"));
    setWindowIcon(appIcon());

    installFontSubstitutes();
    installPanelAccessibility();
    auto* panel = new PanelSurface(this);
    panel->setFixedSize(px(14295), px(8520));
    setCentralWidget(panel);
    buildPanel(panel, ui_);
    fitPanelTexts(panel, texts);
    memories_ = makeMemories(panel);
    QWidget* grid = memories_.widget;
    grid->setObjectName(QStringLiteral("DBGrid1"));
    grid->setGeometry(memoryGridGeometry());
    ui_.DBGrid1 = grid;
    ui_.Command[23]->raise();
    buildMenus();
    buildTimers();
    rxdeck::setTabOrder(ui_);
    buildShortcuts();
    statusBar()->setSizeGripEnabled(true);
    message_ = new QLabel(statusBar());
    message_->setObjectName(QStringLiteral("message"));
    statusBar()->addWidget(message_, 1);
    messageTimer_ = new QTimer(this);
    messageTimer_->setSingleShot(true);
    messageTimer_->setInterval(15000);
    connect(messageTimer_, &QTimer::timeout, message_, &QLabel::clear);

    Form_Load();
    ui_.Text[2]->setFocus();
}

Form1::~Form1() = default;

void Form1::buildMenus()
{
    QMenu* serport = menuBar()->addMenu(QStringLiteral("Serial port"));
    serport->setObjectName(QStringLiteral("serport"));
    serport->setToolTipsVisible(true);
    for (int n = 1; n <= commPortCount; ++n) {
        QAction* item = serport->addAction(QStringLiteral("Comm%1").arg(n));
        item->setObjectName(QStringLiteral("Comm%1").arg(n));
        item->setCheckable(true);
        // Which device the item opens, so users of USB adapters and serial servers
        // can check it, and how to name another.
        item->setStatusTip(commDevice(n));
        item->setToolTip(QStringLiteral("%1\nSet RXDECK_COMM%2 to a device, socket://HOST:PORT "
                                        "or rfc2217://HOST:PORT")
                             .arg(commDevice(n))
                             .arg(n));
        ui_.Comm[std::size_t(n)] = item;
    }
    ui_.openAtStart = serport->addAction(QStringLiteral("Open at start"));
    ui_.openAtStart->setObjectName(QStringLiteral("openAtStart"));
    ui_.openAtStart->setCheckable(true);
    ui_.openAtStart->setStatusTip(
        QStringLiteral("Open the port chosen last when Rxdeck starts (as --port does)"));
    ui_.openAtStart->setToolTip(ui_.openAtStart->statusTip());
    QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    ui_.mnuMemorieshelp = help->addAction(QStringLiteral("Memories"));
    ui_.mnuMemorieshelp->setObjectName(QStringLiteral("mnuMemorieshelp"));
    ui_.About = help->addAction(QStringLiteral("About"));
    ui_.About->setObjectName(QStringLiteral("About"));
}

void Form1::buildShortcuts()
{
    std::set<const QWidget*> named;
    for (const ShortcutSpec& item : shortcuts) {
        const QKeySequence keys(item.keys);
        auto* action = new QAction(this);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        QPushButton* button = item.command ? ui_.Command[std::size_t(item.command)] : nullptr;
        switch (item.does) {
        case Does::Step: {
            auto* tuning = qobject_cast<TuningButton*>(button);
            connect(action, &QAction::triggered, tuning, &TuningButton::requestStep);
            break;
        }
        case Does::Click:
            connect(action, &QAction::triggered, button, &QPushButton::click);
            break;
        case Does::FocusEntry:
            connect(action, &QAction::triggered, this, [this] {
                ui_.Text[2]->setFocus(Qt::ShortcutFocusReason);
                ui_.Text[2]->selectAll();
            });
            break;
        case Does::FocusMemories:
            connect(action, &QAction::triggered, this,
                    [this] { memories_.focusTarget->setFocus(Qt::ShortcutFocusReason); });
            break;
        case Does::UndoDelete:
            connect(action, &QAction::triggered, memories_.widget,
                    [undo = memories_.undoDelete] { undo(); });
            break;
        }
        // The first key of a control is the one it names.
        QWidget* target = button;
        if (item.does == Does::FocusEntry)
            target = ui_.Text[2];
        else if (item.does == Does::FocusMemories || item.does == Does::UndoDelete)
            target = memories_.focusTarget;
        if (!named.insert(target).second)
            continue;
        const QString key = keys.toString(QKeySequence::NativeText);
        const QString said = item.does == Does::UndoDelete
                                 ? QStringLiteral("%1 undoes a delete.").arg(key)
                                 : QStringLiteral("Shortcut: %1.").arg(key);
        const QString description = target->accessibleDescription();
        target->setAccessibleDescription(description.isEmpty() ? said : description + u' ' + said);
        if (button)
            button->setToolTip(QStringLiteral("%1 (%2)").arg(button->accessibleName(), key));
    }
}

void Form1::showMessage(const QString& text)
{
    message_->setText(text);
    messageTimer_->start();
}

QString Form1::message() const
{
    return message_->text();
}

void Form1::buildTimers()
{
    for (const TimerSpec& item : timers) {
        auto* timer = new QTimer(this);
        timer->setObjectName(QStringLiteral("Timer%1").arg(item.number));
        timer->setInterval(item.interval);
        timer->setTimerType(Qt::PreciseTimer);
        ui_.Timer[std::size_t(item.number)] = timer;
    }
}

void Form1::Form_Load()
{
    showNoPort(ui_);
}

void Form1::showPortWarning(const QString& reason)
{
    const QString text =
        QStringLiteral("Port not available. Change the CommPort property to another port.");
    if (captureWarnings_) {
        emit warningShown(text, reason);
        return;
    }
    // The system's reason goes on a line of its own below the warning.
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Rxdeck"), text, QMessageBox::Ok, this);
    box.setInformativeText(reason);
    box.exec();
}

void Form1::onPortLost()
{
    // The device vanished: the snapshot cannot finish, and the display says so.
    ui_.Timer[12]->stop();
    showNoSerial(ui_);
}

} // namespace rxdeck
