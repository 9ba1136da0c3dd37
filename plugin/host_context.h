// The host's callbacks and window, as the registering exports hand them over.
// One process-wide record: filled by nbRegisterPlugIn, nbInitPlugIn,
// nbRegisterScriptProcessor and nbRegisterInterfaceAccess on the host's
// thread, read by the host calls. Every field is null until the host fills it.
// Free of <windows.h>, so the host calls can be tested natively too.
#pragma once

// Every host callback is stdcall; a missing __stdcall corrupts the host's
// stack on 32-bit x86. Elsewhere there is only one convention.
#if defined(_WIN32)
#define HOST_CALLBACK __stdcall
#else
#define HOST_CALLBACK
#endif

// No callback result is used.
using AddActionCallback = void(HOST_CALLBACK*)(int number, const char* name, const char* hint,
                                               const char* typeCodes, int count, int countAgain);
using SetVariableCallback = void(HOST_CALLBACK*)(const char* name, const char* value);
using ScriptCallback = void(HOST_CALLBACK*)(const char* line);
using InterfaceAccessCallback = void(HOST_CALLBACK*)(int request, void* record);
// The host's second and third callbacks and its window are kept, never used.
using UnusedHostValue = void*;

struct HostContext {
    AddActionCallback addAction;
    UnusedHostValue second;
    UnusedHostValue third;
    SetVariableCallback setVariable;
    ScriptCallback script;
    InterfaceAccessCallback interfaceAccess;
    UnusedHostValue hostWindow;
};

extern HostContext g_host;
