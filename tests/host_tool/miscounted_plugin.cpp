// A plug-in that registers its two actions as Varnik does, but gives
// dw_USB_Start's parameter count differently the second time: `check`'s
// step 2 must fail it. Its other exports do nothing.
#include <windows.h>

#include "tests/wine/inert_exports.h"

extern "C" {

using AddAction = void(CALLBACK*)(int, const char*, const char*, const char*, int, int);

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}

void WINAPI nbRegisterPlugIn(AddAction addAction, void*, void*, void*) {
    addAction(1, "dw_USB_Start", "Starts the USB Control \r\ndw_USB_Start \"CallBack Neo Function\"", "\x01",
              1, 0);
    addAction(2, "dw_USB_Stop", "Stops the USB Control \r\ndw_USB_Stop ", "", 0, 0);
}

}  // extern "C"
