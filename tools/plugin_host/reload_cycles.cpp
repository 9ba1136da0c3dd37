#include "tools/plugin_host/reload_cycles.h"

#include <windows.h>

bool LoadAndFree(const std::string& path, std::string* error) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) {
        *error = "it did not load again: error " + std::to_string(GetLastError());
        return false;
    }
    FreeLibrary(module);
    return true;
}

bool WholeSession(const std::string& path, int events, std::string* error,
                  const std::function<void(PluginHost&)>& loaded, const std::function<void()>& afterEach) {
    HMODULE module = nullptr;
    {
        PluginHost host;
        if (!host.Load(path, error))
            return false;
        module = host.module();
        if (loaded)
            loaded(host);
        RunWatchSession(host, events, afterEach);
    }
    // The module's name is gone with it, whatever loads next at its address.
    char name[MAX_PATH];
    if (GetModuleFileNameA(module, name, sizeof name) != 0) {
        *error = "the library stayed loaded after it was freed";
        return false;
    }
    return true;
}

std::vector<ReloadCycle> ReloadCycles(const std::string& path, int loads, int sessions) {
    return {{"loads and frees", [path](std::string* error) { return LoadAndFree(path, error); }, loads,
             kLoadAndFreeHeapBytes},
            {"whole sessions", [path](std::string* error) { return WholeSession(path, 2, error); }, sessions,
             1024}};
}
