// SPDX-License-Identifier: GPL-3.0-or-later
#include "memories/list/memorylistmodel.h"

#include "link/numbertext.h"

#include <algorithm>
#include <cstdlib>
#include <QColor>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <utility>

namespace rxdeck::memories {
namespace {

constexpr QLatin1String kSheetName("Sheet1");
constexpr std::array<QLatin1String, 2> kFieldNames{QLatin1String("Frequency"),
                                                   QLatin1String("Note")};
constexpr std::array<QLatin1String, 2> kColumnCaptions{QLatin1String("Freq"),
                                                       QLatin1String("Note")};
// What a formula cell shows while its result is not up to date.
constexpr QLatin1String kNotCurrent("?");
// Another program's save often arrives as several signals (write, rename, folder).
constexpr int kReloadDelayMs = 200;

bool isEmptyCell(const workbook::Cell& cell)
{
    if (std::holds_alternative<workbook::Empty>(cell))
        return true;
    const QString* text = std::get_if<QString>(&cell);
    return text != nullptr && text->isEmpty();
}

bool isEmptyRow(const std::vector<workbook::Cell>& row)
{
    return std::all_of(row.begin(), row.end(), isEmptyCell);
}

// The column of row 0 whose text names the field, or -1. Field names match the way
// a database driver binds them: blanks around them and letter case do not count.
int findField(const std::vector<workbook::Cell>& header, QLatin1String field)
{
    for (std::size_t c = 0; c < header.size(); ++c) {
        const QString* text = std::get_if<QString>(&header[c]);
        if (text != nullptr && text->trimmed().compare(field, Qt::CaseInsensitive) == 0)
            return static_cast<int>(c);
    }
    return -1;
}

QString shownText(const workbook::Cell& value)
{
    if (const double* number = std::get_if<double>(&value))
        return frequencyText(*number);
    if (const QString* text = std::get_if<QString>(&value))
        return *text;
    return {};
}

// What a typed text is stored as: a frequency typed as a number is stored as one, so
// a spreadsheet program sees a number; anything else is kept as the text typed.
workbook::Cell typedCell(int column, const QString& text)
{
    if (text.trimmed().isEmpty())
        return workbook::Empty{};
    if (column == MemoryListModel::FreqColumn) {
        if (const auto number = numberOfText(text))
            return *number;
    }
    return text;
}

} // namespace

int MemoryListModel::State::memoryCount() const
{
    if (!layout.showRows || layout.sheet < 0 || !layout.hasHeader)
        return 0;
    const auto& rows = document.values().sheets[static_cast<std::size_t>(layout.sheet)].rows;
    auto last = rows.size();
    while (last > 1 && isEmptyRow(rows[last - 1]))
        --last;
    return last == 0 ? 0 : static_cast<int>(last) - 1;
}

int MemoryListModel::State::rowCount() const
{
    if (!layout.showRows)
        return 0;
    const bool adding = layout.editable && !layout.protectedSheet;
    return memoryCount() + (adding ? 1 : 0) + (pendingIsNew() ? 1 : 0);
}

bool MemoryListModel::State::isLocked(int row, int column) const
{
    if (!layout.protectedSheet)
        return false;
    return row < 0 || row >= memoryCount() ||
           document.isLocked(layout.sheet, row + 1,
                             layout.columns[static_cast<std::size_t>(column)]);
}

const workbook::Cell& MemoryListModel::State::cell(int row, int column) const
{
    static const Cell empty;
    if (layout.sheet < 0 || row < 0 || row >= memoryCount())
        return empty;
    const auto& cells = document.values()
                            .sheets[static_cast<std::size_t>(layout.sheet)]
                            .rows[static_cast<std::size_t>(row) + 1];
    const auto at = static_cast<std::size_t>(layout.columns[static_cast<std::size_t>(column)]);
    return at < cells.size() ? cells[at] : empty;
}

bool MemoryListModel::State::isCurrent(int row, int column) const
{
    if (layout.sheet < 0 || row < 0 || row >= memoryCount())
        return true;
    return document.isCurrent(layout.sheet, row + 1,
                              layout.columns[static_cast<std::size_t>(column)]);
}

QString MemoryListModel::State::savedText(int row, int column) const
{
    // A formula result that is no longer current is never shown (or sent by Select) as if
    // it were.
    if (!isCurrent(row, column))
        return QString(kNotCurrent);
    return shownText(cell(row, column));
}

// The memory showing texts nearest to row near, preferring near itself.
std::optional<int> MemoryListModel::State::findRow(const Texts& texts, int near) const
{
    std::optional<int> best;
    const int count = memoryCount();
    for (int row = 0; row < count; ++row) {
        if (savedTexts(row) != texts)
            continue;
        if (!best || std::abs(row - near) < std::abs(*best - near))
            best = row;
    }
    return best;
}

MemoryListModel::MemoryListModel(std::unique_ptr<WorkbookStore> store, QObject* parent)
    : QAbstractTableModel(parent), store_(std::move(store)),
      state_(loadedState(store_->load(), store_->fileName()))
{
    reloadTimer_.setSingleShot(true);
    reloadTimer_.setInterval(kReloadDelayMs);
    connect(&reloadTimer_, &QTimer::timeout, this, &MemoryListModel::reloadIfChanged);
    watch();
}

MemoryListModel::~MemoryListModel() = default;

MemoryListModel::State MemoryListModel::loadedState(LoadResult loaded, const QString& file)
{
    State state;
    Layout& layout = state.layout;
    const auto refuse = [&](const QString& problem) {
        layout = Layout{};
        layout.editable = false;
        layout.showRows = false;
        layout.problem = problem;
        return state;
    };

    switch (loaded.status) {
    case LoadResult::Status::Missing:
        return state; // an empty list; the first committed row creates the workbook
    case LoadResult::Status::Unreadable:
        return refuse(loaded.error.isEmpty()
                          ? tr("%1 could not be read").arg(file)
                          : tr("%1 could not be read: %2").arg(file, loaded.error));
    case LoadResult::Status::Loaded:
        break;
    }

    state.document = std::move(loaded.document);
    const auto& sheets = state.document.values().sheets;
    const auto found = std::find_if(sheets.begin(), sheets.end(), [](const workbook::Sheet& s) {
        return s.name.compare(kSheetName, Qt::CaseInsensitive) == 0;
    });
    if (found == sheets.end())
        return refuse(tr("%1 has no %2").arg(file, kSheetName));
    layout.sheet = static_cast<int>(found - sheets.begin());

    const auto& rows = found->rows;
    layout.hasHeader = !rows.empty() && !std::all_of(rows.begin(), rows.end(), isEmptyRow);
    if (layout.hasHeader) {
        for (std::size_t field = 0; field < kFieldNames.size(); ++field) {
            const int column = findField(rows.front(), kFieldNames[field]);
            if (column < 0)
                return refuse(tr("%1 has no %2 column").arg(kSheetName, kFieldNames[field]));
            layout.columns[field] = column;
        }
    }

    layout.protectedSheet = state.document.isProtected(layout.sheet);
    if (!loaded.writable) {
        layout.editable = false;
        layout.problem = tr("%1 is read-only").arg(file);
    }
    return state;
}

void MemoryListModel::watch()
{
    const QString path = store_->watchedPath();
    if (path.isEmpty())
        return;
    if (watcher_ == nullptr) {
        watcher_ = new QFileSystemWatcher(this);
        const auto soon = [this] { reloadTimer_.start(); };
        connect(watcher_, &QFileSystemWatcher::fileChanged, this, soon);
        connect(watcher_, &QFileSystemWatcher::directoryChanged, this, soon);
    }
    // A program that saves by writing a new file and renaming it over the old one
    // leaves the watcher on a file that is gone: the folder notices, and the file now
    // under the name is watched from then on.
    const QFileInfo file(path);
    if (watcher_->files().contains(path))
        watcher_->removePath(path);
    if (file.exists())
        watcher_->addPath(path);
    const QString folder = file.absolutePath();
    if (QFileInfo::exists(folder) && !watcher_->directories().contains(folder))
        watcher_->addPath(folder);
}

bool MemoryListModel::reloadIfChanged()
{
    watch();
    if (!needsReload_ && !store_->changedOnDisk())
        return false;
    if (editing_ || state_.pending.row >= 0) {
        reloadDue_ = true; // when the row is written or given up
        return false;
    }
    reloadDue_ = false;
    beforeRemove_.reset(); // another program's version: a delete of ours is history
    beginResetModel();
    state_ = loadedState(store_->load(), store_->fileName());
    needsReload_ = false;
    endResetModel();
    return true;
}

void MemoryListModel::scheduleReload()
{
    if ((reloadDue_ || needsReload_) && !editing_ && state_.pending.row < 0)
        reloadTimer_.start();
}

void MemoryListModel::setEditing(bool editing)
{
    editing_ = editing;
    scheduleReload();
}

int MemoryListModel::memoryCount() const
{
    return state_.memoryCount();
}

bool MemoryListModel::isNewRow(int row) const
{
    return state_.layout.editable && row >= memoryCount() && row < rowCount();
}

int MemoryListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : state_.rowCount();
}

int MemoryListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(kColumnCaptions.size());
}

QString MemoryListModel::displayText(int row, int column) const
{
    if (row == state_.pending.row) {
        if (const auto& typed = state_.pending.text[static_cast<std::size_t>(column)])
            return *typed;
    }
    return state_.savedText(row, column);
}

QVariant MemoryListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        // Always text, so the editor is a plain line edit and shows what the cell shows.
        return displayText(index.row(), index.column());
    case Qt::ToolTipRole:
        if (!state_.isCurrent(index.row(), index.column()))
            return tr("Not up to date: this formula depends on a changed value and is "
                      "calculated again when a spreadsheet program opens %1.")
                .arg(store_->fileName());
        // A long note is cut short in its cell; the tooltip shows all of it.
        if (index.column() == NoteColumn && !displayText(index.row(), NoteColumn).isEmpty())
            return displayText(index.row(), NoteColumn);
        return {};
    case Qt::ForegroundRole:
        if (!state_.isCurrent(index.row(), index.column()))
            return QColor(Qt::gray);
        return {};
    case Qt::TextAlignmentRole: {
        const bool typed =
            index.row() == state_.pending.row &&
            state_.pending.text[static_cast<std::size_t>(index.column())].has_value();
        const bool number =
            !typed && std::holds_alternative<double>(state_.cell(index.row(), index.column()));
        return QVariant::fromValue(Qt::Alignment(number ? Qt::AlignRight : Qt::AlignLeft) |
                                   Qt::AlignVCenter);
    }
    default:
        return {};
    }
}

QVariant MemoryListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= columnCount())
            return {};
        return QString(kColumnCaptions[static_cast<std::size_t>(section)]);
    }
    // Record selectors carry no numbers: a pencil marks an edit not yet written, a
    // star a row for adding.
    if (section == state_.pending.row)
        return QStringLiteral("\u270E");
    if (isNewRow(section))
        return QStringLiteral("*");
    return {};
}

Qt::ItemFlags MemoryListModel::flags(const QModelIndex& index) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (state_.layout.editable && !state_.isLocked(index.row(), index.column()))
        flags |= Qt::ItemIsEditable;
    return flags;
}

// Moves to the next state, telling views about the rows that appear or go at the
// end (the extra row for adding, trailing rows emptied), about the cells of
// changedRow and about the record selectors that change.
void MemoryListModel::transition(State next, int changedRow)
{
    const int before = state_.rowCount();
    const int after = next.rowCount();
    const std::array<int, 3> marked{state_.pending.row, next.pending.row, changedRow};
    if (after > before) {
        beginInsertRows({}, before, after - 1);
        state_ = std::move(next);
        endInsertRows();
    } else if (after < before) {
        beginRemoveRows({}, after, before - 1);
        state_ = std::move(next);
        endRemoveRows();
    } else {
        state_ = std::move(next);
    }
    // Cells only where they changed: an editor open in a row told its data changed
    // would be reset to it.
    if (changedRow >= 0 && changedRow < after)
        emit dataChanged(index(changedRow, 0), index(changedRow, columnCount() - 1));
    for (const int row : marked) {
        if (row >= 0 && row < after)
            emit headerDataChanged(Qt::Vertical, row, row);
    }
    if (after > 0)
        emit headerDataChanged(Qt::Vertical, after - 1, after - 1);
    scheduleReload();
}

void MemoryListModel::holdRow(int row)
{
    State next = state_;
    next.pending = PendingRow{row, {}, state_.savedTexts(row), false};
    transition(std::move(next));
}

void MemoryListModel::startTyping(int row)
{
    if (state_.layout.editable && !state_.layout.protectedSheet && state_.pending.row < 0 &&
        row == memoryCount())
        holdRow(row);
}

bool MemoryListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !state_.layout.editable ||
        !checkIndex(index, CheckIndexOption::IndexIsValid) ||
        state_.isLocked(index.row(), index.column()))
        return false;
    int row = index.row();
    const int column = index.column();
    // A cell holds one line: a pasted line break becomes a blank.
    QString text = value.toString();
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    if (text == displayText(row, column))
        return true; // an editor closed without a change: nothing to write later

    if (state_.pending.row >= 0 && state_.pending.row != row) {
        const bool adding = row >= memoryCount();
        const Texts shown = state_.savedTexts(row);
        const int previous = state_.pending.row;
        const bool reloads = needsReload_ || store_->changedOnDisk();
        if (!commitRow(previous).ok)
            return false;
        if (reloads) {
            // The list now shows another program's version: find the row again.
            const auto found =
                adding ? std::optional<int>(memoryCount()) : state_.findRow(shown, row);
            if (!found) {
                emit saveFailed(tr("Another program has changed %1, and the row you typed "
                                   "\"%2\" into is no longer there.")
                                    .arg(store_->fileName(), text));
                return false;
            }
            row = *found;
        }
        if (row >= rowCount())
            return false;
    }

    if (state_.pending.row != row)
        holdRow(row);
    state_.pending.text[static_cast<std::size_t>(column)] = text;
    state_.pending.failed = false;
    emit dataChanged(this->index(row, column), this->index(row, column));
    emit headerDataChanged(Qt::Vertical, row, row);
    return true;
}

void MemoryListModel::discardPending()
{
    if (state_.pending.row < 0)
        return;
    State next = state_;
    next.pending = {};
    transition(std::move(next), state_.pending.row);
}

MemoryListModel::SaveResult MemoryListModel::fail(const QString& message)
{
    emit saveFailed(message);
    return {false, message};
}

// Before writing: when another program has saved the workbook since it was read, reads
// that version and shows it, with the pending row on the row it was made on (matched by
// what it showed before). A row changed there too keeps the user's typing and fails.
MemoryListModel::SaveResult MemoryListModel::catchUp(const QString& failureIntro, bool* reloaded)
{
    *reloaded = false;
    if (!needsReload_ && !store_->changedOnDisk())
        return {};
    const QString file = store_->fileName();
    State fresh = loadedState(store_->load(), file);
    needsReload_ = true; // the store now knows a version the list does not show
    if (!fresh.layout.editable) {
        return {false, tr("%1: another program has changed it (%2). Your change is still in "
                          "the grid.")
                           .arg(failureIntro, fresh.layout.problem)};
    }

    PendingRow pending = state_.pending;
    const Texts gone = pending.before;
    bool matched = true;
    if (pending.row >= 0) {
        std::optional<int> row;
        if (state_.pendingIsNew())
            row = fresh.memoryCount(); // below the other program's list
        else
            row = fresh.findRow(pending.before, pending.row);
        matched = row.has_value();
        if (matched) {
            pending.row = *row;
            pending.before = fresh.savedTexts(pending.row);
        } else {
            // The memory is gone or no longer as it was: the typing never moves onto
            // another memory. It waits in a new row at the end, with the values it was
            // typed over, to be saved as a new memory or dropped.
            for (std::size_t column = 0; column < pending.text.size(); ++column)
                if (!pending.text[column] && !pending.before[column].isEmpty())
                    pending.text[column] = pending.before[column];
            pending.row = fresh.memoryCount();
            pending.before = {};
        }
    }
    fresh.pending = pending;

    beforeRemove_.reset();
    beginResetModel();
    state_ = std::move(fresh);
    needsReload_ = false;
    reloadDue_ = false;
    endResetModel();
    *reloaded = true;
    if (!matched) {
        const QString memory = gone[1].isEmpty() || gone[0].isEmpty()
                                   ? gone[0] + gone[1]
                                   : tr("%1 %2").arg(gone[0], gone[1]);
        return {false, tr("Another program has deleted or changed the memory \"%1\" in %2, so "
                          "your change was not saved. It is kept in a new row at the end of the "
                          "list: leave that row to save it as a new memory, or press Escape to "
                          "drop it.")
                           .arg(memory, file)};
    }
    return {};
}

// Writes the pending row's typing into state's document: only the cells typed into,
// in the row the pending row stands for; a new memory goes into the first sheet row
// below the list.
std::optional<QString> MemoryListModel::applyPending(State& state)
{
    const PendingRow& pending = state.pending;
    Layout& layout = state.layout;
    std::array<Cell, 2> cells;
    for (std::size_t column = 0; column < cells.size(); ++column) {
        if (pending.text[column])
            cells[column] = typedCell(static_cast<int>(column), *pending.text[column]);
    }

    if (layout.sheet < 0) {
        // No workbook yet: a new one holds Sheet1 with its header and this memory.
        workbook::Sheet sheet{QString(kSheetName), {{}, {}}};
        for (std::size_t column = 0; column < cells.size(); ++column) {
            sheet.rows[0].push_back(QString(kFieldNames[column]));
            sheet.rows[1].push_back(cells[column]);
        }
        QString error;
        auto created = workbook::Document::create(workbook::Workbook{{std::move(sheet)}}, &error);
        if (!created)
            return error;
        state.document = std::move(*created);
        layout.sheet = 0;
        layout.columns = {0, 1};
        layout.hasHeader = true;
        return std::nullopt;
    }

    workbook::Document& document = state.document;
    if (!layout.hasHeader) {
        for (std::size_t column = 0; column < cells.size(); ++column) {
            if (auto refused = document.setCell(layout.sheet, 0, layout.columns[column],
                                                QString(kFieldNames[column])))
                return refused;
        }
        layout.hasHeader = true;
    }
    for (std::size_t column = 0; column < cells.size(); ++column) {
        if (!pending.text[column])
            continue;
        // The sheet may have been protected by another program since the typing began.
        if (document.isLocked(layout.sheet, pending.row + 1, layout.columns[column]))
            return tr("the cell is locked on a protected sheet");
        if (auto refused = document.setCell(layout.sheet, pending.row + 1, layout.columns[column],
                                            cells[column]))
            return refused;
    }
    return std::nullopt;
}

MemoryListModel::SaveResult MemoryListModel::commitPending()
{
    return commitRow(state_.pending.row);
}

MemoryListModel::SaveResult MemoryListModel::commitRow(int row)
{
    if (row < 0 || row != state_.pending.row)
        return {};
    const auto& typed = state_.pending.text;
    const bool nothingTyped = std::none_of(typed.begin(), typed.end(), [](const auto& text) {
        return text && !text->trimmed().isEmpty();
    });
    if (std::none_of(typed.begin(), typed.end(), [](const auto& t) { return t.has_value(); }) ||
        (state_.pendingIsNew() && nothingTyped)) {
        discardPending(); // nothing typed that would change or make a memory
        return {};
    }

    const QString intro = tr("The change could not be saved to %1").arg(store_->fileName());
    const auto failed = [this](const QString& message) {
        state_.pending.failed = true;
        return fail(message);
    };
    bool reloaded = false;
    if (const SaveResult caught = catchUp(intro, &reloaded); !caught.ok)
        return failed(caught.error);

    State next = state_;
    if (const auto refused = applyPending(next))
        return failed(tr("%1: %2.").arg(intro, *refused));
    next.pending = {};
    if (const SaveResult saved = save(next.document, intro); !saved.ok) {
        state_.pending.failed = true;
        return saved;
    }
    beforeRemove_.reset(); // a written change ends what a delete's undo could restore
    transition(std::move(next), state_.pending.row);
    return {};
}

bool MemoryListModel::removeRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid())
        return false;
    return removeMemories(row, count).ok;
}

MemoryListModel::SaveResult MemoryListModel::removeMemories(int row, int count)
{
    if (!state_.layout.editable)
        return {false, state_.layout.problem};
    if (state_.layout.protectedSheet)
        return fail(
            tr("The memory could not be deleted: %1 is a protected sheet.").arg(kSheetName));
    if (row < 0 || count <= 0 || row + count > rowCount())
        return {false, tr("There is no such row.")};

    // The rows for adding stay; deleting them only clears what was typed there.
    const int memories = std::max(0, std::min(row + count, memoryCount()) - row);
    if (memories < count && state_.pendingIsNew())
        discardPending();
    if (memories == 0)
        return {};

    const QString intro = tr("The memory could not be deleted from %1").arg(store_->fileName());
    std::vector<Texts> doomed;
    for (int i = 0; i < memories; ++i)
        doomed.push_back(state_.savedTexts(row + i));
    bool reloaded = false;
    if (const SaveResult caught = catchUp(intro, &reloaded); !caught.ok)
        return fail(caught.error);

    // After a reload the rows are found again by what they showed.
    std::vector<int> rows;
    for (int i = 0; i < memories; ++i) {
        std::optional<int> found = row + i;
        if (reloaded)
            found = state_.findRow(doomed[static_cast<std::size_t>(i)], row + i);
        if (!found || std::find(rows.begin(), rows.end(), *found) != rows.end())
            return fail(tr("%1: another program has changed it, and the memory is no longer "
                           "as shown.")
                            .arg(intro));
        rows.push_back(*found);
    }
    std::sort(rows.begin(), rows.end());

    State next = state_;
    const int sheet = next.layout.sheet;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        if (const auto refused = next.document.removeRow(sheet, *it + 1))
            return fail(tr("%1: %2.").arg(intro, *refused));
    }
    PendingRow& pending = next.pending;
    if (std::find(rows.begin(), rows.end(), pending.row) != rows.end()) {
        pending = {}; // the changed row goes, with its change
    } else if (pending.row >= 0) {
        pending.row -= static_cast<int>(
            std::count_if(rows.begin(), rows.end(), [&](int r) { return r < pending.row; }));
    }
    if (const SaveResult saved = save(next.document, intro); !saved.ok)
        return saved;
    beforeRemove_ = state_;
    beforeRemove_->pending = {};
    removedRow_ = rows.front();

    const bool contiguous = rows.back() - rows.front() + 1 == static_cast<int>(rows.size());
    if (contiguous && next.rowCount() == rowCount() - static_cast<int>(rows.size())) {
        beginRemoveRows({}, rows.front(), rows.back());
        state_ = std::move(next);
        endRemoveRows();
    } else {
        beginResetModel();
        state_ = std::move(next);
        endResetModel();
    }
    scheduleReload();
    return {};
}

std::optional<int> MemoryListModel::undoRemove()
{
    if (!beforeRemove_)
        return std::nullopt;
    const QString intro = tr("The delete could not be undone");
    if (needsReload_ || store_->changedOnDisk()) {
        beforeRemove_.reset();
        fail(tr("%1: another program has changed %2 since.").arg(intro, store_->fileName()));
        return std::nullopt;
    }
    if (state_.pending.row >= 0) {
        fail(tr("%1 while a memory is being changed: finish or cancel (Escape) that first.")
                 .arg(intro));
        return std::nullopt;
    }
    // The workbook as it was before the delete, formulas and all, written back whole.
    if (!save(beforeRemove_->document, intro).ok)
        return std::nullopt;
    beginResetModel();
    state_ = *std::exchange(beforeRemove_, std::nullopt);
    endResetModel();
    scheduleReload();
    return removedRow_;
}

MemoryListModel::SaveResult MemoryListModel::save(const workbook::Document& document,
                                                  const QString& failureIntro)
{
    const workbook::WriteResult written = store_->save(document);
    watch(); // the first save creates the file, and maybe its folder
    if (written.ok)
        return {};
    return fail(written.error.isEmpty() ? failureIntro + QLatin1Char('.')
                                        : tr("%1 (%2).").arg(failureIntro, written.error));
}

int MemoryListModel::sideColumn(const QString& header) const
{
    if (state_.layout.sheet < 0 || !state_.layout.hasHeader)
        return -1;
    const auto& rows = state_.document.values().sheets[std::size_t(state_.layout.sheet)].rows;
    if (rows.empty())
        return -1;
    for (std::size_t c = 0; c < rows.front().size(); ++c) {
        const QString* text = std::get_if<QString>(&rows.front()[c]);
        if (text && text->trimmed().compare(header, Qt::CaseInsensitive) == 0)
            return int(c);
    }
    return -1;
}

bool MemoryListModel::sideCellFilled(int row, int column) const
{
    if (state_.layout.sheet < 0 || row < 0 || row >= memoryCount() || column < 0)
        return false;
    const auto& rows = state_.document.values().sheets[std::size_t(state_.layout.sheet)].rows;
    const auto r = std::size_t(row + 1);
    return r < rows.size() && std::size_t(column) < rows[r].size() &&
           !std::holds_alternative<workbook::Empty>(rows[r][std::size_t(column)]);
}

MemoryListModel::SaveResult MemoryListModel::setSideCell(int row, const QString& header,
                                                         const QString& text)
{
    if (!state_.layout.editable)
        return {false, state_.layout.problem};
    if (state_.layout.sheet < 0 || !state_.layout.hasHeader)
        return fail(tr("%1 has no header row for a %2 column.").arg(kSheetName, header));
    if (row < 0 || row >= memoryCount())
        return {false, tr("There is no such row.")};
    if (state_.layout.protectedSheet)
        return fail(
            tr("The %1 mark could not be saved: %2 is a protected sheet.").arg(header, kSheetName));
    const QString intro = tr("The change could not be saved to %1").arg(store_->fileName());
    const Texts shown = state_.savedTexts(row);
    bool reloaded = false;
    if (const SaveResult caught = catchUp(intro, &reloaded); !caught.ok)
        return fail(caught.error);
    // After a reload the row is found again by what it showed.
    const std::optional<int> found = reloaded ? state_.findRow(shown, row) : row;
    if (!found)
        return fail(tr("%1: another program has changed it, and the memory is no longer as shown.")
                        .arg(intro));

    State next = state_;
    const int sheet = next.layout.sheet;
    int column = sideColumn(header);
    if (column < 0) {
        // After every column in use, so that nothing of the user's is written over.
        for (const auto& cells : next.document.values().sheets[std::size_t(sheet)].rows)
            column = std::max(column, int(cells.size()));
        if (const auto refused = next.document.setCell(sheet, 0, column, Cell(header)))
            return fail(tr("%1: %2.").arg(intro, *refused));
    }
    if (const auto refused = next.document.setCell(sheet, *found + 1, column, Cell(text)))
        return fail(tr("%1: %2.").arg(intro, *refused));
    if (const SaveResult saved = save(next.document, intro); !saved.ok)
        return saved;
    transition(std::move(next), *found);
    return {};
}

} // namespace rxdeck::memories
