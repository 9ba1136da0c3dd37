#include "plugin/host_calls.h"

#include "plugin/host_context.h"

namespace {

const char* TextOrNull(const TextBuffer& text) {
    return text.empty() ? nullptr : text.data();
}

// A NUL-terminated copy of a text for the length of one host call: on the
// stack when it is short, as every value the watcher sends is, so that an
// event costs no heap block; null for an empty text, or when a long one
// cannot be copied.
class CallCopy {
public:
    explicit CallCopy(TextView text) {
        if (text.size < sizeof shortCopy_) {
            for (size_t i = 0; i < text.size; ++i)  // a few bytes: no call into msvcrt
                shortCopy_[i] = text.data[i];
            shortCopy_[text.size] = '\0';
            text_ = text.empty() ? nullptr : shortCopy_;
        } else {
            longCopy_.Assign(text);
            text_ = TextOrNull(longCopy_);
        }
    }
    CallCopy(const CallCopy&) = delete;
    CallCopy& operator=(const CallCopy&) = delete;

    const char* get() const { return text_; }

private:
    char shortCopy_[64];
    Text longCopy_;
    const char* text_;
};

}  // namespace

void SetHostVariable(const char* name, TextView value) {
    SetVariableCallback setVariable = g_host.setVariable;
    if (!setVariable)
        return;
    const CallCopy valueCopy(value);
    setVariable(name, valueCopy.get());
}

void RunHostScriptCommand(const TextBuffer& line) {
    ScriptCallback script = g_host.script;
    if (!script)
        return;
    script(TextOrNull(line));
}
