#include "plugin/host_calls.h"

#include <cstring>

#include "plugin/host_context.h"

namespace {

const char* TextOrNull(const std::string& text) {
    return text.empty() ? nullptr : text.c_str();
}

}  // namespace

void SetHostVariable(const std::string& name, const std::string& value) {
    SetVariableCallback setVariable = g_host.setVariable;
    if (!setVariable)
        return;
    // Copies: the host may re-enter us and change what the arguments refer to.
    const std::string nameCopy = name;
    const std::string valueCopy = value;
    setVariable(TextOrNull(nameCopy), TextOrNull(valueCopy));
}

void RunHostScriptCommand(const std::string& line) {
    ScriptCallback script = g_host.script;
    if (!script)
        return;
    const std::string lineCopy = line;
    script(TextOrNull(lineCopy));
}

void SetHostText(char** variable, const std::string& text) {
    if (!variable)
        return;
    if (*variable)
        GlobalFree(*variable);
    *variable = nullptr;
    if (text.empty())
        return;
    // GPTR is fixed and zero-filled: the zero fill supplies the terminator.
    void* block = GlobalAlloc(GPTR, text.size() + 1);
    if (!block)
        return;
    std::memcpy(block, text.data(), text.size());
    *variable = static_cast<char*>(block);
}
