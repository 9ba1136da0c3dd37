// The two actions the plug-in offers the host, fixed at build time.
#pragma once

#include <stdint.h>

enum ActionNumber : int32_t {
    kActionStart = 1,  // dw_USB_Start "CallBack Neo Function"
    kActionStop = 2,   // dw_USB_Stop
};

// Offers both actions to the host through its add-action callback, in table
// order. Called by nbRegisterPlugIn; does nothing without the callback.
void RegisterActions();
