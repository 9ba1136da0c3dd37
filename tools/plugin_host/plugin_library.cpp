#include "tools/plugin_host/plugin_library.h"

namespace {

template <typename Fn>
void Find(HMODULE module, const char* name, Fn* fn, std::string* missing) {
    *fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (!*fn)
        *missing += std::string(missing->empty() ? "" : ", ") + name;
}

}  // namespace

bool LoadPluginLibrary(const std::string& path, PluginLibrary* library, std::string* error) {
    *library = PluginLibrary();
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) {
        const DWORD code = GetLastError();
        *error = "cannot load " + path + " (error " + std::to_string(code) +
                 (code == ERROR_BAD_EXE_FORMAT ? ": wrong architecture or not a DLL)" : ")");
        return false;
    }
    PluginExports& e = library->exports;
    std::string missing;
    Find(module, "_nbRegisterPlugIn@16", &e.registerPlugIn, &missing);
    Find(module, "_nbInitPlugIn@16", &e.initPlugIn, &missing);
    Find(module, "_nbRegisterScriptProcessor@4", &e.registerScriptProcessor, &missing);
    Find(module, "_nbRegisterInterfaceAccess@4", &e.registerInterfaceAccess, &missing);
    Find(module, "_nbExecAction@8", &e.execAction, &missing);
    Find(module, "_nbEditAction@8", &e.editAction, &missing);
    Find(module, "_nbMessage@8", &e.message, &missing);
    Find(module, "DW_USB_START", &e.usbStart, &missing);
    Find(module, "DW_USB_STOP", &e.usbStop, &missing);
    if (!missing.empty()) {
        FreeLibrary(module);
        *library = PluginLibrary();
        *error = path + " is not a plug-in: missing exports " + missing;
        return false;
    }
    library->module = module;
    return true;
}

void FreePluginLibrary(PluginLibrary* library) {
    if (library->module)
        FreeLibrary(library->module);
    *library = PluginLibrary();
}
