#include "memories/list/memorygrid.h"

#include "memories/list/memoryitemdelegate.h"
#include "memories/list/memorylistmodel.h"

#include <QHeaderView>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPersistentModelIndex>
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
constexpr qreal kCellPoints = 8.25;
constexpr qreal kHeaderPoints = 9.75;

QFont sized(QFont font, qreal points, bool bold = false)
{
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

} // namespace

MemoryGrid::MemoryGrid(const QString& workbookPath, QWidget* parent)
    : MemoryGrid(std::make_unique<FileWorkbookStore>(workbookPath), parent)
{
}

MemoryGrid::MemoryGrid(std::unique_ptr<WorkbookStore> store, QWidget* parent)
    : QFrame(parent), m_model(new MemoryListModel(std::move(store), this)),
      m_caption(new QLabel(this)), m_view(new QTableView(this)),
      m_delegate(new MemoryItemDelegate(m_view))
{
    setObjectName(QStringLiteral("DBGrid1"));
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    m_sink = [this](const QString& message) {
        // While the window is being torn down it cannot be a parent any more.
        QWidget* owner = m_tearingDown || !isVisible() ? nullptr : window();
        QMessageBox::warning(owner, tr("Memories"), message);
    };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_caption);
    layout->addWidget(m_view, 1);

    m_caption->setFont(sized(font(), kHeaderPoints, true));
    m_caption->setAlignment(Qt::AlignCenter);
    m_caption->setWordWrap(true);
    m_caption->setText(m_model->problem().isEmpty() ? tr("Memories")
                                                    : tr("Memories: %1").arg(m_model->problem()));

    setUpView();
    setFocusProxy(m_view);

    connect(m_model, &MemoryListModel::saveFailed, this, &MemoryGrid::report);
    connect(m_view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &MemoryGrid::onCurrentRowChanged);
    // Record selector clicks are taken from the header's viewport directly: the
    // header itself ignores presses near the edges of fixed-size sections.
    m_view->verticalHeader()->viewport()->installEventFilter(this);
    m_view->installEventFilter(this);

    if (m_model->rowCount() > 0)
        m_view->selectionModel()->setCurrentIndex(m_model->index(0, MemoryListModel::FreqColumn),
                                                  QItemSelectionModel::NoUpdate);
}

MemoryGrid::~MemoryGrid()
{
    // Nothing typed is lost when the grid goes away. A failure the user has already
    // been told about is not reported a second time.
    m_tearingDown = true;
    m_delegate->commitOpenEditor();
    if (m_model->pendingRow() >= 0) {
        m_quiet = m_model->pendingCommitFailed();
        m_model->commitPending();
    }
}

void MemoryGrid::setUpView()
{
    const QFont cellFont = sized(font(), kCellPoints);

    m_view->setObjectName(QStringLiteral("DBGrid1Table"));
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setModel(m_model);
    m_view->setItemDelegate(m_delegate);
    m_view->setFont(cellFont);

    QPalette colours = m_view->palette();
    colours.setColor(QPalette::Base, QColor::fromRgb(kBackground));
    colours.setColor(QPalette::Text, QColor::fromRgb(kText));
    m_view->setPalette(colours);
    m_view->setStyleSheet(QStringLiteral("QTableView { gridline-color: %1; }")
                              .arg(QColor::fromRgb(kGridLines).name()));
    m_view->setGridStyle(Qt::SolidLine);
    m_view->setWordWrap(false);
    m_view->setCornerButtonEnabled(false);

    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_view->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                            QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    m_view->setTabKeyNavigation(false);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    QHeaderView* columns = m_view->horizontalHeader();
    columns->setFont(sized(font(), kHeaderPoints, true));
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setHighlightSections(false);
    columns->setStretchLastSection(false);
    columns->setTextElideMode(Qt::ElideRight);
    columns->resizeSection(MemoryListModel::FreqColumn, kFreqWidth);
    columns->resizeSection(MemoryListModel::NoteColumn, kNoteWidth);

    // Record selectors: a narrow column of markers; rows keep one fixed height.
    QHeaderView* rows = m_view->verticalHeader();
    const int rowHeight = QFontMetrics(cellFont).height() + 4;
    rows->setFont(cellFont);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(rowHeight);
    rows->setDefaultSectionSize(rowHeight);
    rows->setDefaultAlignment(Qt::AlignCenter);
    rows->setHighlightSections(false);
    rows->setFixedWidth(kRecordSelectorWidth);
}

void MemoryGrid::setMessageSink(MessageSink sink)
{
    m_sink = std::move(sink);
}

QString MemoryGrid::currentCellText() const
{
    const QModelIndex current = m_view->currentIndex();
    if (!current.isValid())
        return {};
    return m_model->displayText(current.row(), current.column());
}

bool MemoryGrid::commitPending()
{
    m_delegate->commitOpenEditor();
    return m_model->commitPending().ok;
}

void MemoryGrid::onCurrentRowChanged(const QModelIndex& current, const QModelIndex& previous)
{
    // By now the view has handed any open editor's text to the model.
    if (m_committing || !previous.isValid() || current.row() == previous.row() ||
        m_model->pendingRow() != previous.row())
        return;
    const QScopedValueRollback guard(m_committing, true);
    const QScopedValueRollback hold(m_holdReports, true);
    const MemoryListModel::SaveResult saved = m_model->commitRow(previous.row());
    if (saved.ok)
        return;
    // Go back to the row that holds the unsaved change (leaving it again retries),
    // then say why. Both wait until the click or key that left the row has been
    // handled, so no message box opens in the middle of it.
    QTimer::singleShot(0, this, [this, back = QPersistentModelIndex(previous), saved] {
        if (back.isValid())
            m_view->setCurrentIndex(back);
        report(saved.error);
    });
}

void MemoryGrid::selectRecord(int row)
{
    // A record selector click selects the whole row, ready for Delete.
    m_delegate->closeOpenEditor();
    const QModelIndex current = m_view->currentIndex();
    const QModelIndex target =
        m_model->index(row, current.isValid() ? current.column() : MemoryListModel::FreqColumn);
    m_view->selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
    if (m_model->pendingRow() >= 0 && m_model->pendingRow() != row)
        return; // the row left behind could not be written; the grid goes back to it
    m_view->selectionModel()->select(target, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
    m_view->setFocus();
}

bool MemoryGrid::eventFilter(QObject* watched, QEvent* event)
{
    QHeaderView* selectors = m_view->verticalHeader();
    if (watched == selectors->viewport() && (event->type() == QEvent::MouseButtonPress ||
                                             event->type() == QEvent::MouseButtonDblClick)) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const int row = selectors->logicalIndexAt(mouse->position().toPoint());
        if (mouse->button() == Qt::LeftButton && row >= 0) {
            selectRecord(row);
            return true;
        }
    }
    if (watched == m_view && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QModelIndex current = m_view->currentIndex();
        const bool plain = key->modifiers() == Qt::NoModifier && current.isValid();
        if (plain && key->key() == Qt::Key_Delete &&
            m_view->selectionModel()->isRowSelected(current.row(), QModelIndex())) {
            m_model->removeMemories(current.row());
            return true;
        }
        // Escape in an editor cancels that cell's typing; Escape again, outside the
        // editor, cancels every change to the row.
        if (plain && key->key() == Qt::Key_Escape && m_model->pendingRow() == current.row()) {
            m_model->discardPending();
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
    if (!m_quiet && !m_holdReports && m_sink)
        m_sink(message);
}

} // namespace rxdeck::memories
