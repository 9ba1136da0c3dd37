// Between the plug-in's texts and the tests' std::string.
#pragma once

#include <string>

#include "support/text.h"

inline std::string ToString(TextView text) {
    return std::string(text.data, text.size);
}

inline TextView View(const std::string& text) {
    return TextView(text.data(), text.size());
}
