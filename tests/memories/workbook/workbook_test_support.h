// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Helpers shared by the workbook codec tests: readable cell output, sheet comparison, running
// the independent programs (ssconvert, xlrd) that check our files.

#include "memories/workbook/workbook.h"
#include "support/childprocess.h"

#include <gtest/gtest.h>
#include <iomanip>
#include <optional>
#include <ostream>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QStringList>

// QString is printed as text in failure messages, not as a list of code units.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace rxdeck::workbook {

inline void PrintTo(const Cell& cell, std::ostream* os)
{
    if (const double* number = std::get_if<double>(&cell))
        *os << "number " << std::setprecision(17) << *number;
    else if (const QString* text = std::get_if<QString>(&cell))
        *os << "text \"" << text->left(40).toStdString() << (text->size() > 40 ? "...\"" : "\"")
            << " (" << text->size() << " chars)";
    else
        *os << "empty";
}

} // namespace rxdeck::workbook

namespace rxdeck::workbook::testing {

using Rows = std::vector<std::vector<Cell>>;

inline Cell text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// Rows as read() gives them back: trailing empty cells and trailing empty rows dropped, and an
// empty text is an empty cell.
inline Rows trimmed(Rows rows)
{
    const auto isEmpty = [](const Cell& c) {
        const QString* t = std::get_if<QString>(&c);
        return std::holds_alternative<Empty>(c) || (t != nullptr && t->isEmpty());
    };
    for (std::vector<Cell>& row : rows) {
        for (Cell& c : row)
            if (isEmpty(c))
                c = Empty{};
        while (!row.empty() && isEmpty(row.back()))
            row.pop_back();
    }
    while (!rows.empty() && rows.back().empty())
        rows.pop_back();
    return rows;
}

// Compares cell by cell so that a failure names the first cell that differs.
inline ::testing::AssertionResult sameRows(const Rows& expected, const Rows& actual)
{
    if (expected.size() != actual.size())
        return ::testing::AssertionFailure()
               << "expected " << expected.size() << " rows, got " << actual.size();
    for (std::size_t r = 0; r < expected.size(); ++r) {
        if (expected[r].size() != actual[r].size())
            return ::testing::AssertionFailure()
                   << "row " << r << ": expected " << expected[r].size() << " cells, got "
                   << actual[r].size();
        for (std::size_t c = 0; c < expected[r].size(); ++c)
            if (!(expected[r][c] == actual[r][c]))
                return ::testing::AssertionFailure()
                       << "cell (" << r << "," << c << "): expected "
                       << ::testing::PrintToString(expected[r][c]) << ", got "
                       << ::testing::PrintToString(actual[r][c]);
    }
    return ::testing::AssertionSuccess();
}

// What test::runCommand reports, in Qt's types; `ran` when the program ended by itself.
struct ProcessResult
{
    bool ran = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline ProcessResult run(const QString& program, const QStringList& args,
                         const QString& workingDir = QString(), int timeoutMs = 60000)
{
    std::vector<std::string> argv{program.toStdString()};
    for (const QString& arg : args)
        argv.push_back(arg.toStdString());
    const test::CommandResult done =
        test::runCommand(argv, {.workingDirectory = workingDir.toStdString(),
                                .timeout = std::chrono::milliseconds(timeoutMs)});
    return {done.status >= 0 && done.status < 128, done.status,
            QByteArray::fromStdString(done.output), QByteArray::fromStdString(done.errors)};
}

inline QString ssconvertPath()
{
    return QStandardPaths::findExecutable(QStringLiteral("ssconvert"));
}

inline constexpr const char* python = "/usr/bin/python3";

inline bool haveXlrd()
{
    const ProcessResult r = run(QString::fromLatin1(python), {"-c", "import xlrd"});
    return r.ran && r.exitCode == 0;
}

// xlrd's view of every sheet as JSON: [[name, [[cell, ...], ...]], ...]; empty cells are "".
inline constexpr const char* xlrdDump = R"(
import json, sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
out = [[s.name, [[s.cell_value(r, c) for c in range(s.ncols)] for r in range(s.nrows)]]
       for s in book.sheets()]
sys.stdout.buffer.write(json.dumps(out, ensure_ascii=False).encode('utf-8'))
)";

inline Rows fromJson(const QJsonArray& rows)
{
    Rows out;
    for (const QJsonValue& row : rows) {
        std::vector<Cell> cells;
        for (const QJsonValue& v : row.toArray()) {
            if (v.isDouble())
                cells.push_back(v.toDouble());
            else if (v.toString().isEmpty())
                cells.push_back(Empty{});
            else
                cells.push_back(v.toString());
        }
        out.push_back(cells);
    }
    return trimmed(out);
}

// Every sheet as xlrd reads the file at path, or nullopt when xlrd fails on it.
inline std::optional<std::vector<std::pair<QString, Rows>>> xlrdSheets(const QString& path)
{
    const ProcessResult dumped = run(QString::fromLatin1(python), {"-c", xlrdDump, path});
    if (!dumped.ran || dumped.exitCode != 0)
        return std::nullopt;
    std::vector<std::pair<QString, Rows>> out;
    for (const QJsonValue& sheet : QJsonDocument::fromJson(dumped.out).array()) {
        const QJsonArray entry = sheet.toArray();
        out.emplace_back(entry[0].toString(), fromJson(entry[1].toArray()));
    }
    return out;
}

} // namespace rxdeck::workbook::testing
