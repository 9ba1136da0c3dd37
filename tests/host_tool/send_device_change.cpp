// send-device-change CODE COUNT: broadcasts WM_DEVICECHANGE with wParam CODE
// and lParam 0, COUNT times, the way the system sends the events that carry
// no record (a device-node change is 7, a configuration change 24).
#include <cstdio>
#include <cstdlib>

#include "tools/plugin_host/device_broadcast.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: send-device-change CODE COUNT\n");
        return 2;
    }
    const WPARAM code = std::strtoul(argv[1], nullptr, 0);
    for (long i = std::atol(argv[2]); i > 0; --i)
        if (!BroadcastDeviceChange(code, nullptr))
            return 1;
    return 0;
}
