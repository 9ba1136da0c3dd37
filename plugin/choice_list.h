// The host's list of subroutines, as the edit dialog offers it: the text is
// split at every CR LF, and the offer ends at the first empty line.
#pragma once

#include "support/text.h"

// Reads the list line by line: one line more than there are CR LF pairs
// ("" is one empty line, a text ending in CR LF ends with an empty line).
// A lone CR or LF stays inside its line.
class ChoiceReader {
public:
    explicit ChoiceReader(TextView list) : rest_(list) {}

    // The next line; false once every line has been read.
    bool NextLine(TextView& line);

    // The next line the combo box offers: false at the first empty line.
    bool NextOffered(TextView& choice) { return NextLine(choice) && !choice.empty(); }

private:
    TextView rest_;
    bool done_ = false;
};
