#include "plugin/choice_list.h"

bool ChoiceReader::NextLine(TextView& line) {
    if (done_)
        return false;
    const size_t end = FindText(rest_, "\r\n");
    if (end == kTextNotFound) {
        line = rest_;
        done_ = true;
        return true;
    }
    line = rest_.Slice(0, end);
    rest_ = rest_.Slice(end + 2, kTextNotFound);
    return true;
}
