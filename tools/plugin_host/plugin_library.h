// A plug-in loaded the way the host loads it: LoadLibraryA by path, then the
// nine exports looked up by their exact, decorated names.
#pragma once

#include <windows.h>

#include <string>

// The host's view of the exports. Every one is stdcall; numbers are 32 bits,
// pointers pointer-sized.
using AddActionFn = void(CALLBACK*)(int number, const char* name, const char* hint, const char* typeCodes,
                                    int count, int countAgain);
using SetVariableFn = void(CALLBACK*)(const char* name, const char* value);
using ScriptFn = void(CALLBACK*)(const char* line);
using InterfaceAccessFn = void(CALLBACK*)(int request, void* record);
using OtherHostFn = void(CALLBACK*)();

struct PluginExports {
    void(WINAPI* registerPlugIn)(AddActionFn, OtherHostFn, OtherHostFn, SetVariableFn);
    void(WINAPI* initPlugIn)(HWND hostWindow, char** title, char** author, char** description);
    void(WINAPI* registerScriptProcessor)(ScriptFn);
    void(WINAPI* registerInterfaceAccess)(InterfaceAccessFn);
    int(WINAPI* execAction)(int action, char** parameters);
    int(WINAPI* editAction)(int action, char** parameters);
    void(WINAPI* message)(int code, int value);
    void*(WINAPI* usbStart)(const char* name);
    void*(WINAPI* usbStop)();
};

struct PluginLibrary {
    HMODULE module = nullptr;
    PluginExports exports = {};
};

// Loads the plug-in at `path`. On failure returns false and says why in
// `error`, naming every missing export; nothing stays loaded.
bool LoadPluginLibrary(const std::string& path, PluginLibrary* library, std::string* error);

// FreeLibrary, once; the exports are forgotten.
void FreePluginLibrary(PluginLibrary* library);
