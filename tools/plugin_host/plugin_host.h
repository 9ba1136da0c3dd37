// A host that behaves like the real one, for tests and tools: it loads a
// plug-in, hands it real stdcall callbacks, records every call the plug-in
// makes into it (texts as bytes, null kept apart from empty), keeps host
// variables and runs `Gosub "Name"` script lines by calling subroutines that
// the test defines, which may call the plug-in again, as a real host's script
// does. One host per process, on the thread that calls the plug-in.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "tools/plugin_host/plugin_library.h"

// A text as the host received it; nullopt for a null pointer.
using HostText = std::optional<std::string>;

struct AddActionCall {
    int number;
    HostText name;
    HostText hint;
    HostText typeCodes;  // the parameter codes and the zero byte after them
    int count;
    int countAgain;
};
struct SetVariableCall {
    HostText name;
    HostText value;
};
struct ScriptCall {
    HostText line;
};
struct InterfaceAccessCall {
    int request;
    bool recordZeroFilled;  // all 64 bytes were zero when the host got it
};
struct OtherCallbackCall {
    int which;  // 2 or 3: callbacks the plug-in must never call
};
struct GlobalAllocCall {
    UINT flags;
    SIZE_T bytes;
    void* block;
};
struct GlobalFreeCall {
    void* block;
};
using HostCall = std::variant<AddActionCall, SetVariableCall, ScriptCall, InterfaceAccessCall,
                              OtherCallbackCall, GlobalAllocCall, GlobalFreeCall>;

// One line per call, for order checks and traces: `set dw_USB_Status = "Init"`,
// `set dw_USB_Drive = null`, `script "Gosub \"OnUSB\""`. Control characters
// show as \r, \n, \t, \xNN.
std::string Describe(const HostCall& call);
// What one report to the script is in those lines: the three variables (an
// empty drive or kind arrives as null), then Gosub "name".
std::vector<std::string> ReportCalls(const std::string& status, const std::string& drive,
                                     const std::string& kind, const std::string& name);
std::string Quote(const HostText& text);
// Bytes as upper-case hex pairs separated by blanks: "01 00".
std::string HexBytes(const std::string& bytes);

class PluginHost {
public:
    PluginHost();
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    bool Load(const std::string& path, std::string* error);
    void Unload();
    const PluginExports& plugin() const { return library_.exports; }
    HMODULE module() const { return library_.module; }

    // Hands the plug-in this host's callbacks, as the real host does at start.
    void RegisterPlugIn();
    void RegisterScriptProcessor();
    void RegisterInterfaceAccess();
    void RegisterAll();

    const std::vector<HostCall>& calls() const { return calls_; }
    std::vector<std::string> Trace() const;
    void ClearCalls() { calls_.clear(); }

    // A host variable as the plug-in last set it; null reads as empty.
    std::string Variable(const std::string& name) const;
    bool HasVariable(const std::string& name) const;

    void DefineSubroutine(const std::string& name, std::function<void()> body);
    // Script lines that named no defined subroutine, in order.
    const std::vector<HostText>& unhandledLines() const { return unhandledLines_; }

    // What request 5 answers: the host's subroutines, one per line (CR LF).
    // nullopt leaves the record's first field null.
    void SetSubroutineList(std::optional<std::string> list) { subroutineList_ = std::move(list); }
    // Runs inside every request 5, before it is answered, as host code would.
    void WhileListingSubroutines(std::function<void()> body) { listingSubroutines_ = std::move(body); }

    // Adds a call to the current host's record: the host's own callbacks
    // come here, and so may a test's hooks on the plug-in's imports.
    static void Record(HostCall call);

private:
    static void CALLBACK OnAddAction(int number, const char* name, const char* hint, const char* typeCodes,
                                     int count, int countAgain);
    static void CALLBACK OnSecond();
    static void CALLBACK OnThird();
    static void CALLBACK OnSetVariable(const char* name, const char* value);
    static void CALLBACK OnScript(const char* line);
    static void CALLBACK OnInterfaceAccess(int request, void* record);

    PluginLibrary library_;
    std::vector<HostCall> calls_;
    std::map<std::string, std::string> variables_;
    std::map<std::string, std::function<void()>> subroutines_;
    std::vector<HostText> unhandledLines_;
    std::optional<std::string> subroutineList_;
    std::function<void()> listingSubroutines_;
};

// The host's parameter list for nbExecAction and nbEditAction: one pointer per
// parameter, each a GlobalAlloc block the host owns (null for an empty text).
class HostParameters {
public:
    explicit HostParameters(std::vector<HostText> texts);
    ~HostParameters();
    HostParameters(const HostParameters&) = delete;
    HostParameters& operator=(const HostParameters&) = delete;

    char** data() { return entries_.data(); }
    HostText Text(size_t index) const;

private:
    std::vector<char*> entries_;
};

// A publication's whole watch on a loaded plug-in: register, start a watch
// for OnUSB, `events` volumes arriving and going in turn, sent to this
// process's watcher windows (`afterEach` runs after each one), stop.
void RunWatchSession(PluginHost& host, int events, const std::function<void()>& afterEach = {});

// A copy of `text` in a GPTR block, as the host allocates its texts.
char* AllocHostText(const std::string& text);
