#include "memories/list/selectcommand.h"

#include <gtest/gtest.h>

namespace rxdeck::memories {
namespace {

TEST(SelectCommandLine, SendsTheCellTextVerbatimOnlyWithinTheReceiversRange)
{
    struct Case
    {
        const char* cellText;
        std::optional<QByteArray> line;
    };
    const std::vector<Case> cases{
        {"30", "FRQ30\n"},
        {"30.001", std::nullopt},
        {"0.005", "FRQ0.005\n"},
        {"0.0049", std::nullopt},
        {"7.05", "FRQ7.05\n"},
        {"7 MHz net", "FRQ7 MHz net\n"}, // a note that starts with a frequency goes whole
        {"7.05 MHz", "FRQ7.05 MHz\n"},
        {" 7.05", "FRQ 7.05\n"}, // the blank counts for nothing but is sent
        {"3e1", "FRQ3e1\n"},
        {"5e-3", "FRQ5e-3\n"},
        {"1 4.2", "FRQ1 4.2\n"}, // blanks inside the number are ignored
        {"", std::nullopt},      // the row for adding
        {"abc", std::nullopt},
        {"net 7 MHz", std::nullopt}, // no leading number reads as 0
        {"-7", std::nullopt},
        {"0", std::nullopt},
        {"1e999", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(selectCommandLine(QString::fromUtf8(c.cellText)), c.line)
            << "cell text '" << c.cellText << "'";
}

} // namespace
} // namespace rxdeck::memories
