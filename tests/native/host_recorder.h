// A host that records what it receives through the set-variable and script
// callbacks, in order: a variable's name and value, or a script line (no
// name). Null is kept apart from empty; the value's address is kept too.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "plugin/host_context.h"

struct ReceivedCall {
    std::optional<std::string> name;
    std::optional<std::string> value;
    const void* valueAddress = nullptr;  // not compared
    bool operator==(const ReceivedCall& other) const { return name == other.name && value == other.value; }
};

inline std::vector<ReceivedCall> g_received;

inline std::optional<std::string> Received(const char* text) {
    return text ? std::optional<std::string>(text) : std::nullopt;
}
inline void HOST_CALLBACK RecordVariable(const char* name, const char* value) {
    g_received.push_back({Received(name), Received(value), value});
}
inline void HOST_CALLBACK RecordScript(const char* line) {
    g_received.push_back({std::nullopt, Received(line), line});
}
