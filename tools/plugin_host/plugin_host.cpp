#include "tools/plugin_host/plugin_host.h"

#include <cstdio>
#include <cstring>

#include "tools/plugin_host/device_broadcast.h"

namespace {

PluginHost* g_current;

HostText Received(const char* text) {
    return text ? HostText(text) : std::nullopt;
}

std::string Visible(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        char buf[8];
        switch (c) {
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        default:
            if (c < 0x20 || c == 0x7f) {
                std::snprintf(buf, sizeof buf, "\\x%02X", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

std::string Pointer(const void* p) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%p", p);
    return buf;
}

}  // namespace

void PluginHost::Record(HostCall call) {
    if (g_current)
        g_current->calls_.push_back(std::move(call));
}

std::string HexBytes(const std::string& bytes) {
    std::string out;
    char buf[4];
    for (unsigned char c : bytes) {
        std::snprintf(buf, sizeof buf, "%s%02X", out.empty() ? "" : " ", c);
        out += buf;
    }
    return out;
}

std::string Quote(const HostText& text) {
    return text ? "\"" + Visible(*text) + "\"" : "null";
}

std::string Describe(const HostCall& call) {
    struct {
        std::string operator()(const AddActionCall& c) const {
            return "add-action " + std::to_string(c.number) + " " + Quote(c.name) + " hint " + Quote(c.hint) +
                   " codes " + Quote(c.typeCodes) + " count " + std::to_string(c.count) + " " +
                   std::to_string(c.countAgain);
        }
        std::string operator()(const SetVariableCall& c) const {
            return "set " + (c.name ? *c.name : std::string("<null>")) + " = " + Quote(c.value);
        }
        std::string operator()(const ScriptCall& c) const { return "script " + Quote(c.line); }
        std::string operator()(const InterfaceAccessCall& c) const {
            return "interface-access " + std::to_string(c.request) +
                   (c.recordZeroFilled ? " zero-filled" : " not-zero-filled");
        }
        std::string operator()(const OtherCallbackCall& c) const {
            return "callback " + std::to_string(c.which) + " called";
        }
        std::string operator()(const GlobalAllocCall& c) const {
            return "GlobalAlloc " + std::to_string(c.flags) + " " + std::to_string(c.bytes) + " -> " +
                   Pointer(c.block);
        }
        std::string operator()(const GlobalFreeCall& c) const { return "GlobalFree " + Pointer(c.block); }
    } visitor;
    return std::visit(visitor, call);
}

std::vector<std::string> ReportCalls(const std::string& status, const std::string& drive,
                                     const std::string& kind, const std::string& name) {
    auto text = [](const std::string& value) { return value.empty() ? HostText() : HostText(value); };
    return {
        "set dw_USB_Status = " + Quote(status),
        "set dw_USB_Drive = " + Quote(text(drive)),
        "set dw_USB_Type = " + Quote(text(kind)),
        "script " + Quote("Gosub \"" + name + "\""),
    };
}

PluginHost::PluginHost() {
    g_current = this;
}

PluginHost::~PluginHost() {
    Unload();
    if (g_current == this)
        g_current = nullptr;
}

bool PluginHost::Load(const std::string& path, std::string* error) {
    Unload();
    return LoadPluginLibrary(path, &library_, error);
}

void PluginHost::Unload() {
    FreePluginLibrary(&library_);
}

void PluginHost::RegisterPlugIn() {
    library_.exports.registerPlugIn(OnAddAction, OnSecond, OnThird, OnSetVariable);
}

void PluginHost::RegisterScriptProcessor() {
    library_.exports.registerScriptProcessor(OnScript);
}

void PluginHost::RegisterInterfaceAccess() {
    library_.exports.registerInterfaceAccess(OnInterfaceAccess);
}

void PluginHost::RegisterAll() {
    RegisterPlugIn();
    RegisterScriptProcessor();
    RegisterInterfaceAccess();
}

std::vector<std::string> PluginHost::Trace() const {
    std::vector<std::string> lines;
    for (const HostCall& call : calls_)
        lines.push_back(Describe(call));
    return lines;
}

std::string PluginHost::Variable(const std::string& name) const {
    auto it = variables_.find(name);
    return it == variables_.end() ? std::string() : it->second;
}

bool PluginHost::HasVariable(const std::string& name) const {
    return variables_.count(name) != 0;
}

void PluginHost::DefineSubroutine(const std::string& name, std::function<void()> body) {
    subroutines_[name] = std::move(body);
}

void CALLBACK PluginHost::OnAddAction(int number, const char* name, const char* hint, const char* typeCodes,
                                    int count, int countAgain) {
    HostText codes;
    if (typeCodes && count >= 0 && count <= 255)
        codes = std::string(typeCodes, static_cast<size_t>(count) + 1);
    Record(AddActionCall{number, Received(name), Received(hint), codes, count, countAgain});
}

void CALLBACK PluginHost::OnSecond() {
    Record(OtherCallbackCall{2});
}

void CALLBACK PluginHost::OnThird() {
    Record(OtherCallbackCall{3});
}

void CALLBACK PluginHost::OnSetVariable(const char* name, const char* value) {
    Record(SetVariableCall{Received(name), Received(value)});
    if (g_current && name)
        g_current->variables_[name] = value ? value : "";
}

void CALLBACK PluginHost::OnScript(const char* line) {
    Record(ScriptCall{Received(line)});
    if (!g_current)
        return;
    // The one statement the plug-in sends: Gosub "Name".
    const std::string text = line ? line : "";
    const std::string prefix = "Gosub \"";
    if (text.size() >= prefix.size() + 1 && text.compare(0, prefix.size(), prefix) == 0 &&
        text.back() == '"') {
        const std::string name = text.substr(prefix.size(), text.size() - prefix.size() - 1);
        auto it = g_current->subroutines_.find(name);
        if (it != g_current->subroutines_.end()) {
            std::function<void()> body = it->second;  // the body may redefine subroutines
            body();
            return;
        }
    }
    g_current->unhandledLines_.push_back(Received(line));
}

void CALLBACK PluginHost::OnInterfaceAccess(int request, void* record) {
    bool zeroFilled = record != nullptr;
    for (int i = 0; zeroFilled && i < 64; ++i)
        zeroFilled = static_cast<const unsigned char*>(record)[i] == 0;
    Record(InterfaceAccessCall{request, zeroFilled});
    if (request == 5 && g_current && g_current->listingSubroutines_)
        g_current->listingSubroutines_();
    if (request != 5 || !record || !g_current || !g_current->subroutineList_)
        return;
    // Host-owned text: it stays valid until the list changes.
    const char* list = g_current->subroutineList_->c_str();
    std::memcpy(record, &list, sizeof list);
}

char* AllocHostText(const std::string& text) {
    auto* block = static_cast<char*>(GlobalAlloc(GPTR, text.size() + 1));
    if (block)
        std::memcpy(block, text.data(), text.size());
    return block;
}

HostParameters::HostParameters(std::vector<HostText> texts) {
    for (const HostText& text : texts)
        entries_.push_back(text ? AllocHostText(*text) : nullptr);
    entries_.push_back(nullptr);  // room past the end: a plug-in must not need it
}

HostParameters::~HostParameters() {
    for (char* entry : entries_)
        if (entry)
            GlobalFree(entry);
}

HostText HostParameters::Text(size_t index) const {
    return entries_[index] ? HostText(entries_[index]) : std::nullopt;
}

void RunWatchSession(PluginHost& host, int events, const std::function<void()>& afterEach) {
    host.RegisterAll();
    host.DefineSubroutine("OnUSB", [] {});
    HostParameters start({std::string("OnUSB")});
    host.plugin().execAction(1, start.data());
    for (int i = 0; i < events; ++i) {
        SendVolumeToWatchers(i % 2 ? DBT_DEVICEREMOVECOMPLETE : DBT_DEVICEARRIVAL, 1u << (4 + i % 20), DBTF_MEDIA);
        if (afterEach)
            afterEach();
    }
    HostParameters stop({});
    host.plugin().execAction(2, stop.data());
}
