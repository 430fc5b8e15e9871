#include "memories/list/memorylistmodel.h"

#include "link/numbertext.h"

#include <algorithm>
#include <iterator>

namespace rxdeck::memories {
namespace {

constexpr QLatin1String kSheetName("Sheet1");
constexpr std::array<QLatin1String, 2> kFieldNames{QLatin1String("Frequency"),
                                                   QLatin1String("Note")};
constexpr std::array<QLatin1String, 2> kColumnCaptions{QLatin1String("Freq"),
                                                       QLatin1String("Note")};

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

void putCell(std::vector<workbook::Cell>& row, int column, workbook::Cell cell)
{
    const auto at = static_cast<std::size_t>(column);
    if (row.size() <= at)
        row.resize(at + 1);
    row[at] = std::move(cell);
}

} // namespace

MemoryListModel::MemoryListModel(std::unique_ptr<WorkbookStore> store, QObject* parent)
    : QAbstractTableModel(parent), m_store(std::move(store))
{
    load();
}

MemoryListModel::~MemoryListModel() = default;

void MemoryListModel::load()
{
    LoadResult loaded = m_store->load();
    const QString file = m_store->fileName();
    const auto refuse = [this](const QString& problem) {
        m_book = {};
        m_sheetIndex = -1;
        m_editable = false;
        m_showRows = false;
        m_problem = problem;
    };

    switch (loaded.status) {
    case LoadResult::Status::Missing:
        return; // an empty list; the first committed row creates the workbook
    case LoadResult::Status::Unreadable:
        refuse(loaded.error.isEmpty() ? tr("%1 could not be read").arg(file)
                                      : tr("%1 could not be read: %2").arg(file, loaded.error));
        return;
    case LoadResult::Status::Loaded:
        break;
    }

    m_book = std::move(loaded.book);
    const auto found =
        std::find_if(m_book.sheets.begin(), m_book.sheets.end(), [](const workbook::Sheet& s) {
            return s.name.compare(kSheetName, Qt::CaseInsensitive) == 0;
        });
    if (found == m_book.sheets.end()) {
        refuse(tr("%1 has no %2").arg(file, kSheetName));
        return;
    }
    m_sheetIndex = static_cast<int>(found - m_book.sheets.begin());

    // Rows with nothing in them at the end of the sheet are not memories.
    auto& rows = found->rows;
    while (!rows.empty() && isEmptyRow(rows.back()))
        rows.pop_back();

    m_hasHeader = !rows.empty();
    if (m_hasHeader) {
        for (std::size_t field = 0; field < kFieldNames.size(); ++field) {
            const int column = findField(rows.front(), kFieldNames[field]);
            if (column < 0) {
                refuse(tr("%1 has no %2 column").arg(kSheetName, kFieldNames[field]));
                return;
            }
            m_sheetColumns[field] = column;
        }
    }

    if (!loaded.writable) {
        m_editable = false;
        m_problem = tr("%1 is read-only").arg(file);
    }
}

workbook::Sheet* MemoryListModel::sheet()
{
    return m_sheetIndex < 0 ? nullptr : &m_book.sheets[static_cast<std::size_t>(m_sheetIndex)];
}

const workbook::Sheet* MemoryListModel::sheet() const
{
    return m_sheetIndex < 0 ? nullptr : &m_book.sheets[static_cast<std::size_t>(m_sheetIndex)];
}

int MemoryListModel::sheetColumn(int column) const
{
    return m_sheetColumns[static_cast<std::size_t>(column)];
}

int MemoryListModel::memoryCount() const
{
    const workbook::Sheet* s = sheet();
    if (!m_showRows || s == nullptr || s->rows.empty())
        return 0;
    return static_cast<int>(s->rows.size()) - 1;
}

bool MemoryListModel::isNewRow(int row) const
{
    return m_editable && m_showRows && row == memoryCount();
}

const workbook::Cell& MemoryListModel::cell(int row, int column) const
{
    static const Cell empty;
    const workbook::Sheet* s = sheet();
    const auto sheetRow = static_cast<std::size_t>(row) + 1;
    if (s == nullptr || row < 0 || sheetRow >= s->rows.size())
        return empty;
    const auto& cells = s->rows[sheetRow];
    const auto at = static_cast<std::size_t>(sheetColumn(column));
    return at < cells.size() ? cells[at] : empty;
}

int MemoryListModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_showRows)
        return 0;
    return memoryCount() + (m_editable ? 1 : 0);
}

int MemoryListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(kColumnCaptions.size());
}

QString MemoryListModel::displayText(int row, int column) const
{
    if (row == m_pending.row) {
        if (const auto& typed = m_pending.text[static_cast<std::size_t>(column)])
            return *typed;
    }
    const Cell& value = cell(row, column);
    if (const double* number = std::get_if<double>(&value))
        return frequencyText(*number);
    if (const QString* text = std::get_if<QString>(&value))
        return *text;
    return {};
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
    case Qt::TextAlignmentRole: {
        const bool typed = index.row() == m_pending.row &&
                           m_pending.text[static_cast<std::size_t>(index.column())].has_value();
        const bool number =
            !typed && std::holds_alternative<double>(cell(index.row(), index.column()));
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
    // star the row for adding.
    if (section == m_pending.row)
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
    if (m_editable)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool MemoryListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !m_editable || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return false;
    const int row = index.row();
    const QString text = value.toString();
    if (text == displayText(row, index.column()))
        return true; // an editor closed without a change: nothing to write later
    if (m_pending.row >= 0 && m_pending.row != row && !commitRow(m_pending.row).ok)
        return false;

    m_pending.row = row;
    m_pending.text[static_cast<std::size_t>(index.column())] = text;
    m_pendingFailed = false;
    emit dataChanged(index, index);
    emit headerDataChanged(Qt::Vertical, row, row);
    return true;
}

void MemoryListModel::discardPending()
{
    clearPending();
}

void MemoryListModel::clearPending()
{
    const int row = m_pending.row;
    m_pending = {};
    m_pendingFailed = false;
    if (row >= 0 && row < rowCount()) {
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
        emit headerDataChanged(Qt::Vertical, row, row);
    }
}

workbook::Cell MemoryListModel::typedCell(int column) const
{
    const QString& text = *m_pending.text[static_cast<std::size_t>(column)];
    if (text.trimmed().isEmpty())
        return workbook::Empty{};
    // A frequency typed as a number is stored as one, so a spreadsheet program sees
    // a number; anything else is kept as the text typed.
    if (column == FreqColumn) {
        if (const auto number = numberOfText(text))
            return *number;
    }
    return text;
}

MemoryListModel::SaveResult MemoryListModel::commitPending()
{
    return commitRow(m_pending.row);
}

MemoryListModel::SaveResult MemoryListModel::commitRow(int row)
{
    if (row < 0 || row != m_pending.row)
        return {};

    std::array<Cell, 2> cells;
    for (int column = 0; column < columnCount(); ++column) {
        cells[static_cast<std::size_t>(column)] = m_pending.text[static_cast<std::size_t>(column)]
                                                      ? typedCell(column)
                                                      : cell(row, column);
    }
    const QString failureIntro = tr("The change could not be saved to %1").arg(m_store->fileName());

    if (!isNewRow(row)) {
        auto& cellsInSheet = sheet()->rows[static_cast<std::size_t>(row) + 1];
        const auto before = cellsInSheet;
        for (int column = 0; column < columnCount(); ++column)
            putCell(cellsInSheet, sheetColumn(column), cells[static_cast<std::size_t>(column)]);
        const SaveResult saved = save(failureIntro);
        if (!saved.ok) {
            cellsInSheet = before;
            m_pendingFailed = true;
            return saved;
        }
        clearPending();
        return saved;
    }

    if (std::all_of(cells.begin(), cells.end(), isEmptyCell)) {
        clearPending(); // nothing typed that would make a memory
        return {};
    }

    // Appending may also have to create the sheet and its header row. The workbook is
    // changed, written, and put back; only after a good write is the change made again
    // between beginInsertRows and endInsertRows, as views expect.
    const bool createSheet = m_sheetIndex < 0;
    const bool addHeader = !m_hasHeader;
    std::vector<Cell> memory;
    for (int column = 0; column < columnCount(); ++column)
        putCell(memory, sheetColumn(column), cells[static_cast<std::size_t>(column)]);
    const auto append = [&] {
        if (createSheet) {
            m_book.sheets.push_back(workbook::Sheet{QString(kSheetName), {}});
            m_sheetIndex = static_cast<int>(m_book.sheets.size()) - 1;
        }
        if (addHeader) {
            std::vector<Cell> header;
            for (int column = 0; column < columnCount(); ++column)
                putCell(header, sheetColumn(column),
                        QString(kFieldNames[static_cast<std::size_t>(column)]));
            sheet()->rows.push_back(std::move(header));
            m_hasHeader = true;
        }
        sheet()->rows.push_back(memory);
    };
    const auto undo = [&] {
        sheet()->rows.pop_back();
        if (addHeader) {
            sheet()->rows.pop_back();
            m_hasHeader = false;
        }
        if (createSheet) {
            m_book.sheets.pop_back();
            m_sheetIndex = -1;
        }
    };

    append();
    const SaveResult saved = save(failureIntro);
    undo();
    if (!saved.ok) {
        m_pendingFailed = true;
        return saved;
    }

    beginInsertRows({}, row + 1, row + 1);
    append();
    m_pending = {};
    m_pendingFailed = false;
    endInsertRows();
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    emit headerDataChanged(Qt::Vertical, row, row + 1);
    return saved;
}

bool MemoryListModel::removeRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid())
        return false;
    return removeMemories(row, count).ok;
}

MemoryListModel::SaveResult MemoryListModel::removeMemories(int row, int count)
{
    if (!m_editable)
        return {false, m_problem};
    if (row < 0 || count <= 0 || row + count > rowCount())
        return {false, tr("There is no such row.")};

    // The row for adding stays; deleting it only clears what was typed there.
    if (isNewRow(row + count - 1)) {
        if (m_pending.row == row + count - 1)
            clearPending();
        --count;
    }
    if (count == 0)
        return {};

    auto& rows = sheet()->rows;
    const auto first = static_cast<std::ptrdiff_t>(row) + 1;
    const auto takeOut = [&] {
        std::vector<std::vector<Cell>> taken(std::make_move_iterator(rows.begin() + first),
                                             std::make_move_iterator(rows.begin() + first + count));
        rows.erase(rows.begin() + first, rows.begin() + first + count);
        return taken;
    };

    std::vector<std::vector<Cell>> taken = takeOut();
    const SaveResult saved =
        save(tr("The memory could not be deleted from %1").arg(m_store->fileName()));
    rows.insert(rows.begin() + first, std::make_move_iterator(taken.begin()),
                std::make_move_iterator(taken.end()));
    if (!saved.ok)
        return saved;

    beginRemoveRows({}, row, row + count - 1);
    takeOut();
    if (m_pending.row >= row + count) {
        m_pending.row -= count;
    } else if (m_pending.row >= row) {
        m_pending = {};
        m_pendingFailed = false;
    }
    endRemoveRows();
    return saved;
}

MemoryListModel::SaveResult MemoryListModel::save(const QString& failureIntro)
{
    const workbook::WriteResult written = m_store->save(m_book);
    if (written.ok)
        return {};
    const QString message = written.error.isEmpty()
                                ? failureIntro + QLatin1Char('.')
                                : tr("%1 (%2).").arg(failureIntro, written.error);
    emit saveFailed(message);
    return {false, message};
}

} // namespace rxdeck::memories
