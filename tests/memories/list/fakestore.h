#pragma once

#include "memories/list/workbookstore.h"

#include <initializer_list>
#include <memory>
#include <vector>

namespace rxdeck::memories::testing {

// A workbook store in memory that records every save and can be told to fail.
struct StoreState
{
    LoadResult loaded;
    std::vector<workbook::Workbook> saves;
    int failedSaves = 0;
    bool failSaves = false;
    QString failure = QStringLiteral("disk full");
};

class FakeStore final : public WorkbookStore
{
public:
    explicit FakeStore(std::shared_ptr<StoreState> state) : m_state(std::move(state)) {}

    LoadResult load() override { return m_state->loaded; }
    workbook::WriteResult save(const workbook::Workbook& book) override
    {
        if (m_state->failSaves) {
            ++m_state->failedSaves;
            return {false, m_state->failure};
        }
        m_state->saves.push_back(book);
        return {true, {}};
    }
    QString fileName() const override { return QStringLiteral("Memories.xls"); }

private:
    std::shared_ptr<StoreState> m_state;
};

using Row = std::vector<workbook::Cell>;

inline workbook::Cell text(const char* value)
{
    return QString::fromUtf8(value);
}

inline workbook::Sheet sheet(const char* name, std::vector<Row> rows)
{
    return workbook::Sheet{QString::fromUtf8(name), std::move(rows)};
}

inline std::shared_ptr<StoreState> loadedState(std::vector<workbook::Sheet> sheets)
{
    auto state = std::make_shared<StoreState>();
    state->loaded.status = LoadResult::Status::Loaded;
    state->loaded.book.sheets = std::move(sheets);
    return state;
}

// Sheet1 with the usual header and the given memories.
inline std::shared_ptr<StoreState> memoriesState(std::vector<Row> memories)
{
    std::vector<Row> rows{{text("Frequency"), text("Note")}};
    rows.insert(rows.end(), memories.begin(), memories.end());
    return loadedState({sheet("Sheet1", std::move(rows))});
}

inline std::shared_ptr<StoreState> missingState()
{
    auto state = std::make_shared<StoreState>();
    state->loaded.status = LoadResult::Status::Missing;
    return state;
}

inline std::unique_ptr<WorkbookStore> storeFor(const std::shared_ptr<StoreState>& state)
{
    return std::make_unique<FakeStore>(state);
}

} // namespace rxdeck::memories::testing
