// The host's list of subroutines, as the edit dialog offers it: the text is
// split at every CR LF, and the offer ends at the first empty line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Every line, in order: one more than the CR LF pairs ("" gives one empty
// line, a text ending in CR LF gives an empty last line).
std::vector<std::string> SplitChoices(std::string_view text);

// The lines before the first empty one.
std::vector<std::string> OfferedChoices(const std::vector<std::string>& lines);
