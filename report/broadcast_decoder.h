// The broadcast decoder: turns the device-broadcast record that comes with a
// WM_DEVICECHANGE into report entries (five blanks before each, no line end).
// Called by the event report builder on the watcher window's thread.
//
// `record` is the message's lParam: the address of a record that begins with
// its 32-bit dbch_size. The decoder reads at most the first dbch_size bytes of
// it (the size field itself always), keeps nothing between calls, and never
// tests the address: the caller passes only non-null addresses.
#pragma once

#include "support/text.h"

// dbch_devicetype of a device-interface record, which the watcher's
// notification filter is too.
constexpr uint32_t kDeviceInterfaceType = 5;  // DBT_DEVTYP_DEVICEINTERFACE

// Appends the entries to `report`.
void AppendBroadcastEntries(TextBuffer& report, const void* record);
