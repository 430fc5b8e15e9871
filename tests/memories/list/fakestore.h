#pragma once

#include "memories/list/workbookstore.h"

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
            return {false, QStringLiteral("disk full")};
        }
        m_state->saves.push_back(book);
        return {true, {}};
    }
    QString fileName() const override { return QStringLiteral("Memories.xls"); }

private:
    std::shared_ptr<StoreState> m_state;
};

using Row = std::vector<workbook::Cell>;
using Rows = std::vector<Row>;

inline workbook::Cell t(const char* text)
{
    return QString::fromUtf8(text);
}

inline std::shared_ptr<StoreState> stateWith(LoadResult::Status status,
                                             std::vector<workbook::Sheet> sheets = {})
{
    auto state = std::make_shared<StoreState>();
    state->loaded.status = status;
    state->loaded.book.sheets = std::move(sheets);
    return state;
}

// Sheet1 with the usual header row above the given memories.
inline std::shared_ptr<StoreState> memoriesState(Rows memories)
{
    memories.insert(memories.begin(), Row{t("Frequency"), t("Note")});
    return stateWith(LoadResult::Status::Loaded,
                     {workbook::Sheet{QStringLiteral("Sheet1"), std::move(memories)}});
}

inline std::unique_ptr<WorkbookStore> storeFor(const std::shared_ptr<StoreState>& state)
{
    return std::make_unique<FakeStore>(state);
}

} // namespace rxdeck::memories::testing
