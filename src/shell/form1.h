// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/controls.h"
#include "shell/writtentexts.h"

#include <functional>
#include <QMainWindow>

namespace rxdeck {

// The memory list as the window holds it: its widget, placed on the panel as DBGrid1;
// the control Ctrl+M focuses; the undo of its last delete (Ctrl+Z); and whether the
// window may close. Built on the panel by whoever builds the window, so that the
// window knows nothing of its kind.
struct MemoryPlace
{
    QWidget* widget = nullptr;
    QWidget* focusTarget = nullptr;
    std::function<void()> undoDelete;
    std::function<bool()> mayClose;
};
using MemoryPlaceMaker = std::function<MemoryPlace(QWidget* panel)>;

// The main window: the receiver's front panel, its menus and timers. The handlers
// that operate it are built and wired outside (app/desk.h).
class Form1 : public QMainWindow
{
    Q_OBJECT
public:
    // `makeMemories` builds the memory list on the panel. `texts` are the tables of what
    // the handlers write into the panel, which the text fitting makes room for.
    Form1(const MemoryPlaceMaker& makeMemories, std::span<const WrittenTextTable> texts,
          QWidget* parent = nullptr);
    ~Form1() override;

    Controls& controls() { return ui_; }
    const Controls& controls() const { return ui_; }

    // Tests capture the port warning as warningShown() instead of a modal box.
    void setCaptureWarnings(bool capture) { captureWarnings_ = capture; }

    // A port could not be opened; reason is one line on why, below the warning.
    void showPortWarning(const QString& reason);
    // The open port failed and closed itself.
    void onPortLost();
    // Says on the status bar why something the user asked for was not done.
    void showMessage(const QString& text);
    QString message() const;

signals:
    void warningShown(const QString& text, const QString& reason);

protected:
    // A changed memory that cannot be written keeps the window open unless the user
    // chooses to close without it.
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildTimers();
    void buildShortcuts();
    void Form_Load();

    Controls ui_;
    MemoryPlace memories_;
    bool captureWarnings_ = false;
    QLabel* message_ = nullptr;
    QTimer* messageTimer_ = nullptr;
};

} // namespace rxdeck
