#include "plugin/choice_list.h"

#include "support/text.h"

std::vector<std::string> SplitChoices(std::string_view text) {
    std::vector<std::string> lines;
    for (;;) {
        const size_t end = FindText(text, "\r\n");
        if (end == std::string_view::npos) {
            lines.emplace_back(text);
            return lines;
        }
        lines.emplace_back(text.substr(0, end));
        text.remove_prefix(end + 2);
    }
}

std::vector<std::string> OfferedChoices(const std::vector<std::string>& lines) {
    std::vector<std::string> offered;
    for (const std::string& line : lines) {
        if (line.empty())
            break;
        offered.push_back(line);
    }
    return offered;
}
