#include "plugin/choice_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/native/text_testing.h"

namespace {

using Lines = std::vector<std::string>;

// Every line the reader gives, or only those the combo box offers.
Lines Read(const std::string& text, bool offered) {
    ChoiceReader reader(View(text));
    Lines lines;
    TextView line;
    while (offered ? reader.NextOffered(line) : reader.NextLine(line))
        lines.push_back(ToString(line));
    return lines;
}

TEST(ChoiceReader, OneLineMoreThanThereAreLineEnds) {
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
        EXPECT_EQ(Read(row.text, false), row.lines);
        EXPECT_EQ(Read(row.text, true), row.offered);
    }
}

}  // namespace
