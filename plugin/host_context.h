// The host's callbacks and window, as the registering exports hand them over.
// One process-wide record: filled by nbRegisterPlugIn, nbInitPlugIn,
// nbRegisterScriptProcessor and nbRegisterInterfaceAccess on the host's
// thread, read by the host calls. Every field is null until the host fills it.
#pragma once

#include <windows.h>

// Every host callback is stdcall; a missing CALLBACK corrupts the host's
// stack on 32-bit x86. No callback result is used.
using AddActionCallback = void(CALLBACK*)(int number, const char* name, const char* hint,
                                          const char* typeCodes, int count, int countAgain);
using SetVariableCallback = void(CALLBACK*)(const char* name, const char* value);
using ScriptCallback = void(CALLBACK*)(const char* line);
using InterfaceAccessCallback = void(CALLBACK*)(int request, void* record);
// The host's second and third callbacks are kept but never called.
using UnusedHostCallback = void*;

struct HostContext {
    AddActionCallback addAction;
    UnusedHostCallback second;
    UnusedHostCallback third;
    SetVariableCallback setVariable;
    ScriptCallback script;
    InterfaceAccessCallback interfaceAccess;
    HWND hostWindow;
};

extern HostContext g_host;
