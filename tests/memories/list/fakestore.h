// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "memories/list/workbookstore.h"

#include <memory>
#include <ostream>
#include <QString>
#include <vector>

// QString is printed as text in failure messages, not as a list of code units.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace rxdeck::memories::testing {

// A workbook store in memory that records every save, can be told to fail, and can
// play another program saving the file (changedOnDisk and the next load).
struct StoreState
{
    LoadResult loaded;
    std::vector<workbook::Document> saves;
    int failedSaves = 0;
    int loads = 0;
    bool failSaves = false;
    bool changed = false; // another program saved since the last load or save
    QString watched;      // the file the list watches, if any
};

class FakeStore final : public WorkbookStore
{
public:
    explicit FakeStore(std::shared_ptr<StoreState> state) : state_(std::move(state)) {}

    LoadResult load() override
    {
        ++state_->loads;
        state_->changed = false;
        return state_->loaded;
    }
    bool changedOnDisk() const override { return state_->changed; }
    workbook::WriteResult save(const workbook::Document& document) override
    {
        if (state_->changed || state_->failSaves) {
            ++state_->failedSaves;
            return {false, QStringLiteral("disk full")};
        }
        state_->saves.push_back(document);
        state_->loaded.status = LoadResult::Status::Loaded;
        state_->loaded.document = document;
        return {true, {}};
    }
    QString fileName() const override { return QStringLiteral("Memories.xls"); }
    QString watchedPath() const override { return state_->watched; }

private:
    std::shared_ptr<StoreState> state_;
};

using Row = std::vector<workbook::Cell>;
using Rows = std::vector<Row>;

inline workbook::Cell t(const char* text)
{
    return QString::fromUtf8(text);
}

inline workbook::Document documentOf(std::vector<workbook::Sheet> sheets)
{
    return *workbook::Document::create(workbook::Workbook{std::move(sheets)});
}

inline std::shared_ptr<StoreState> stateWith(LoadResult::Status status,
                                             std::vector<workbook::Sheet> sheets = {})
{
    auto state = std::make_shared<StoreState>();
    state->loaded.status = status;
    if (!sheets.empty())
        state->loaded.document = documentOf(std::move(sheets));
    return state;
}

// Sheet1 with the usual header row above the given memories.
inline workbook::Sheet memoriesSheet(Rows memories)
{
    memories.insert(memories.begin(), Row{t("Frequency"), t("Note")});
    return workbook::Sheet{QStringLiteral("Sheet1"), std::move(memories)};
}

inline std::shared_ptr<StoreState> memoriesState(Rows memories)
{
    return stateWith(LoadResult::Status::Loaded, {memoriesSheet(std::move(memories))});
}

// Another program saves these memories.
inline void savedElsewhere(StoreState& state, Rows memories)
{
    state.loaded.document = documentOf({memoriesSheet(std::move(memories))});
    state.changed = true;
}

// Sheet1 of the last save.
inline Rows savedSheet1(const StoreState& state)
{
    return state.saves.back().values().sheet(QStringLiteral("Sheet1"))->rows;
}

inline std::unique_ptr<WorkbookStore> storeFor(const std::shared_ptr<StoreState>& state)
{
    return std::make_unique<FakeStore>(state);
}

} // namespace rxdeck::memories::testing
