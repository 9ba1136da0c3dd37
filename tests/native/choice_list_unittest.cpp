#include "plugin/choice_list.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

TEST(SplitChoices, OneLineMoreThanThereAreLineEnds) {
    const struct {
        std::string text;
        Lines lines;
        Lines offered;
    } rows[] = {
        {"", {""}, {}},
        {"OnUSB", {"OnUSB"}, {"OnUSB"}},
        {"B\r\nA\r\n\r\nC", {"B", "A", "", "C"}, {"B", "A"}},
        {"A\r\nB\r\n", {"A", "B", ""}, {"A", "B"}},
        {"\r\nA", {"", "A"}, {}},
        // Only CR LF separates; a lone CR or LF stays inside its line.
        {"A\nB\rC\r\nD", {"A\nB\rC", "D"}, {"A\nB\rC", "D"}},
        {"\r\n\r\n", {"", "", ""}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const Lines lines = SplitChoices(row.text);
        EXPECT_EQ(lines, row.lines);
        EXPECT_EQ(OfferedChoices(lines), row.offered);
    }
}

}  // namespace
