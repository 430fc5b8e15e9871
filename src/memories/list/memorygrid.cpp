// SPDX-License-Identifier: GPL-3.0-or-later
#include "memories/list/memorygrid.h"

#include "memories/list/memoryitemdelegate.h"
#include "memories/list/memorylistmodel.h"

#include <algorithm>
#include <QHeaderView>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPersistentModelIndex>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace rxdeck::memories {
namespace {

constexpr int kFreqWidth = 60;
constexpr int kNoteWidth = 170;
constexpr int kRecordSelectorWidth = 16;
constexpr QRgb kBackground = 0xffffffc0; // light yellow, RGB(255, 255, 192)
constexpr QRgb kText = 0xff000080;       // navy, RGB(0, 0, 128)
constexpr QRgb kGridLines = 0xff404040;  // dark grey
constexpr QRgb kCaptionBar = 0xffd4d0c8; // the light grey of a 3-D control face
constexpr QRgb kCaptionText = 0xff000000;
constexpr qreal kCellPoints = 8.25;
constexpr qreal kHeaderPoints = 9.75;

QFont sized(QFont font, qreal points, bool bold = false)
{
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// The table of the grid. Typing never searches: a typed character is for the current
// cell. A click on the current cell opens its editor at once rather than after the
// double-click time, during which keys would be taken for a search.
class MemoryTableView : public QTableView
{
public:
    using QTableView::QTableView;

    void keyboardSearch(const QString&) override {}

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override
    {
        if (trigger == SelectedClicked && editTriggers().testFlag(SelectedClicked))
            return QTableView::edit(index, EditKeyPressed, nullptr);
        return QTableView::edit(index, trigger, event);
    }
};

} // namespace

MemoryGrid::MemoryGrid(const QString& workbookPath, QWidget* parent)
    : MemoryGrid(std::make_unique<FileWorkbookStore>(workbookPath), parent)
{
}

MemoryGrid::MemoryGrid(std::unique_ptr<WorkbookStore> store, QWidget* parent)
    : QFrame(parent), model_(new MemoryListModel(std::move(store), this)),
      caption_(new QLabel(this)), view_(new MemoryTableView(this)),
      delegate_(new MemoryItemDelegate(view_))
{
    setObjectName(QStringLiteral("DBGrid1"));
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    sink_ = [this](const QString& message) {
        // While the window is being torn down it cannot be a parent any more.
        QWidget* owner = tearingDown_ || !isVisible() ? nullptr : window();
        QMessageBox::warning(owner, tr("Memories"), message);
    };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(caption_);
    layout->addWidget(view_, 1);

    // A bar of its own colours, readable whatever the panel behind the grid.
    caption_->setFont(sized(font(), kHeaderPoints, true));
    caption_->setAlignment(Qt::AlignCenter);
    caption_->setWordWrap(true);
    caption_->setAutoFillBackground(true);
    QPalette captionColours = caption_->palette();
    captionColours.setColor(QPalette::Window, QColor::fromRgb(kCaptionBar));
    captionColours.setColor(QPalette::WindowText, QColor::fromRgb(kCaptionText));
    caption_->setPalette(captionColours);
    showCaption();

    setUpView();
    setFocusProxy(view_);

    connect(model_, &MemoryListModel::saveFailed, this, &MemoryGrid::report);
    connect(model_, &MemoryListModel::modelAboutToBeReset, this, &MemoryGrid::keepCurrentCell);
    connect(model_, &MemoryListModel::modelReset, this, &MemoryGrid::restoreCurrentCell);
    connect(delegate_, &MemoryItemDelegate::editingChanged, model_, &MemoryListModel::setEditing);
    connect(delegate_, &MemoryItemDelegate::typingStarted, model_,
            [this](const QModelIndex& index) { model_->startTyping(index.row()); });
    connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &MemoryGrid::onCurrentRowChanged);
    // Record selector clicks are taken from the header's viewport directly: the
    // header itself ignores presses near the edges of fixed-size sections.
    view_->verticalHeader()->viewport()->installEventFilter(this);
    view_->installEventFilter(this);

    if (model_->rowCount() > 0)
        view_->selectionModel()->setCurrentIndex(model_->index(0, MemoryListModel::FreqColumn),
                                                 QItemSelectionModel::NoUpdate);
}

MemoryGrid::~MemoryGrid()
{
    // Nothing typed is lost when the grid goes away. A failure the user has already
    // been told about is not reported a second time.
    tearingDown_ = true;
    delegate_->commitOpenEditor();
    if (model_->pendingRow() >= 0) {
        quiet_ = model_->pendingCommitFailed();
        model_->commitPending();
    }
}

void MemoryGrid::setUpView()
{
    const QFont cellFont = sized(font(), kCellPoints);

    view_->setObjectName(QStringLiteral("DBGrid1Table"));
    view_->setAccessibleName(tr("Memory list"));
    view_->setAccessibleDescription(
        tr("Memories: frequency and note. Select (F5) tunes to the current row; Delete "
           "removes a row selected by its record selector or Shift+Space."));
    view_->setFrameShape(QFrame::NoFrame);
    view_->setModel(model_);
    view_->setItemDelegate(delegate_);
    view_->setFont(cellFont);

    QPalette colours = view_->palette();
    colours.setColor(QPalette::Base, QColor::fromRgb(kBackground));
    colours.setColor(QPalette::Text, QColor::fromRgb(kText));
    view_->setPalette(colours);
    view_->setStyleSheet(QStringLiteral("QTableView { gridline-color: %1; }")
                             .arg(QColor::fromRgb(kGridLines).name()));
    view_->setGridStyle(Qt::SolidLine);
    view_->setWordWrap(false);
    view_->setCornerButtonEnabled(false);

    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setSelectionBehavior(QAbstractItemView::SelectItems);
    view_->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                           QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    view_->setTabKeyNavigation(false);
    view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    QHeaderView* columns = view_->horizontalHeader();
    columns->setFont(sized(font(), kHeaderPoints, true));
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setHighlightSections(false);
    columns->setStretchLastSection(false);
    columns->setTextElideMode(Qt::ElideRight);
    columns->resizeSection(MemoryListModel::FreqColumn, kFreqWidth);
    columns->resizeSection(MemoryListModel::NoteColumn, kNoteWidth);

    // Record selectors: a narrow column of markers; rows keep one fixed height.
    QHeaderView* rows = view_->verticalHeader();
    const int rowHeight = QFontMetrics(cellFont).height() + 4;
    rows->setFont(cellFont);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(rowHeight);
    rows->setDefaultSectionSize(rowHeight);
    rows->setDefaultAlignment(Qt::AlignCenter);
    rows->setHighlightSections(false);
    rows->setFixedWidth(kRecordSelectorWidth);
}

void MemoryGrid::showCaption()
{
    if (!model_->problem().isEmpty())
        caption_->setText(tr("Memories: %1").arg(model_->problem()));
    else if (model_->isProtected())
        caption_->setText(tr("Memories (protected sheet: locked cells are read only)"));
    else
        caption_->setText(tr("Memories"));
}

void MemoryGrid::keepCurrentCell()
{
    const QModelIndex current = view_->currentIndex();
    cellBeforeReload_ =
        current.isValid() ? QPoint(current.column(), current.row()) : QPoint(-1, -1);
    pendingBeforeReload_ = model_->pendingRow();
}

void MemoryGrid::restoreCurrentCell()
{
    // The same row and column where the reloaded list still has them; when the row
    // being edited moved in the new version, the current cell moves with it.
    showCaption();
    const int rows = model_->rowCount();
    if (cellBeforeReload_.y() < 0 || rows == 0)
        return;
    int row = cellBeforeReload_.y();
    if (pendingBeforeReload_ >= 0 && model_->pendingRow() >= 0)
        row += model_->pendingRow() - pendingBeforeReload_;
    const QModelIndex cell = model_->index(std::clamp(row, 0, rows - 1), cellBeforeReload_.x());
    view_->selectionModel()->setCurrentIndex(cell, QItemSelectionModel::ClearAndSelect);
}

void MemoryGrid::setMessageSink(MessageSink sink)
{
    sink_ = std::move(sink);
}

QString MemoryGrid::currentCellText() const
{
    const QModelIndex current = view_->currentIndex();
    if (!current.isValid())
        return {};
    return model_->displayText(current.row(), current.column());
}

void MemoryGrid::undoDelete()
{
    delegate_->commitOpenEditor();
    if (const auto row = model_->undoRemove()) {
        const QModelIndex first = model_->index(*row, MemoryListModel::FreqColumn);
        view_->selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect |
                                                            QItemSelectionModel::Rows);
    }
}

QString MemoryGrid::currentRowFrequency() const
{
    const QModelIndex current = view_->currentIndex();
    if (!current.isValid())
        return {};
    return model_->displayText(current.row(), MemoryListModel::FreqColumn);
}

bool MemoryGrid::commitPending()
{
    delegate_->commitOpenEditor();
    return model_->commitPending().ok;
}

bool MemoryGrid::mayClose()
{
    delegate_->commitOpenEditor();
    if (model_->pendingRow() < 0)
        return true;
    const QModelIndex current = view_->currentIndex();
    MemoryListModel::SaveResult saved;
    {
        const QScopedValueRollback hold(holdReports_, true);
        saved = model_->commitPending();
    }
    if (saved.ok)
        return true;
    QMessageBox box(QMessageBox::Warning, tr("Memories"), saved.error, QMessageBox::NoButton,
                    window());
    QPushButton* discard = box.addButton(tr("&Close without saving"), QMessageBox::DestructiveRole);
    QPushButton* keep = box.addButton(tr("&Keep working"), QMessageBox::RejectRole);
    box.setDefaultButton(keep);
    box.setEscapeButton(keep);
    box.exec();
    if (box.clickedButton() == discard) {
        model_->discardPending();
        return true;
    }
    const QModelIndex back = model_->index(
        model_->pendingRow(), current.isValid() ? current.column() : MemoryListModel::FreqColumn);
    if (back.isValid())
        view_->setCurrentIndex(back);
    view_->setFocus();
    return false;
}

void MemoryGrid::onCurrentRowChanged(const QModelIndex& current, const QModelIndex& previous)
{
    // By now the view has handed any open editor's text to the model.
    if (committing_ || !previous.isValid() || current.row() == previous.row() ||
        model_->pendingRow() != previous.row())
        return;
    const QScopedValueRollback guard(committing_, true);
    const QScopedValueRollback hold(holdReports_, true);
    const MemoryListModel::SaveResult saved = model_->commitRow(previous.row());
    if (saved.ok)
        return;
    // Go back to the row that holds the unsaved change (leaving it again retries),
    // then say why. Both wait until the click or key that left the row has been
    // handled, so no message box opens in the middle of it.
    QTimer::singleShot(0, this, [this, column = previous.column(), saved] {
        const QModelIndex back = model_->index(model_->pendingRow(), column);
        if (back.isValid())
            view_->setCurrentIndex(back);
        report(saved.error);
    });
}

void MemoryGrid::selectRecord(int row)
{
    // A record selector click selects the whole row, ready for Delete.
    delegate_->closeOpenEditor();
    const QModelIndex current = view_->currentIndex();
    const QModelIndex target =
        model_->index(row, current.isValid() ? current.column() : MemoryListModel::FreqColumn);
    view_->selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
    if (model_->pendingRow() >= 0 && model_->pendingRow() != row)
        return; // the row left behind could not be written; the grid goes back to it
    view_->selectionModel()->select(target, QItemSelectionModel::ClearAndSelect |
                                                QItemSelectionModel::Rows);
    view_->setFocus();
}

bool MemoryGrid::eventFilter(QObject* watched, QEvent* event)
{
    QHeaderView* selectors = view_->verticalHeader();
    if (watched == selectors->viewport() && (event->type() == QEvent::MouseButtonPress ||
                                             event->type() == QEvent::MouseButtonDblClick)) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const int row = selectors->logicalIndexAt(mouse->position().toPoint());
        if (mouse->button() == Qt::LeftButton && row >= 0) {
            selectRecord(row);
            return true;
        }
    }
    if (watched == view_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QModelIndex current = view_->currentIndex();
        const bool plain = key->modifiers() == Qt::NoModifier && current.isValid();
        // Shift+Space selects the current row as its record selector's click does, so the
        // keyboard can delete a memory too.
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::ShiftModifier &&
            current.isValid()) {
            selectRecord(current.row());
            return true;
        }
        if (plain && key->key() == Qt::Key_Delete &&
            view_->selectionModel()->isRowSelected(current.row(), QModelIndex())) {
            model_->removeMemories(current.row());
            return true;
        }
        // Escape in an editor cancels that cell's typing; Escape again, outside the
        // editor, cancels every change to the row.
        if (plain && key->key() == Qt::Key_Escape && model_->pendingRow() == current.row()) {
            model_->discardPending();
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

void MemoryGrid::hideEvent(QHideEvent* event)
{
    // The window closing (not being minimised) hides the grid: write what is pending.
    if (!event->spontaneous())
        commitPending();
    QFrame::hideEvent(event);
}

void MemoryGrid::report(const QString& message)
{
    if (!quiet_ && !holdReports_ && sink_)
        sink_(message);
}

} // namespace rxdeck::memories
