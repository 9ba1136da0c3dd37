// The plug-in's exports other than nbRegisterPlugIn, doing nothing, for the
// test plug-ins built from one file each (keeps_one_thing.cpp,
// tests/host_tool/miscounted_plugin.cpp), which define DllMain and
// nbRegisterPlugIn themselves. Included by that one file only.
#pragma once

#include <windows.h>

extern "C" {

void WINAPI nbInitPlugIn(HWND, char**, char**, char**) {}
void WINAPI nbRegisterScriptProcessor(void*) {}
void WINAPI nbRegisterInterfaceAccess(void*) {}
int WINAPI nbExecAction(int, char**) {
    return 0;
}
int WINAPI nbEditAction(int, char**) {
    return 0;
}
void WINAPI nbMessage(int, int) {}
void* WINAPI DW_USB_START(const char*) {
    return nullptr;
}
void* WINAPI DW_USB_STOP() {
    return nullptr;
}

}  // extern "C"
