#include "tools/varnik-host/demo.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "tools/plugin_host/device_broadcast.h"
#include "tools/varnik-host/output.h"

const char kDemoHelp[] =
    "usage: varnik-host demo PLUGIN [--mount-manager | --broadcast]\n"
    "Shows what a publication sees: what PLUGIN registers (as list prints it), then\n"
    "a watch for OnUSB in which a stick arrives as drive E and goes again. Every\n"
    "host call is printed in order, with the three variables OnUSB reads each time\n"
    "it runs.\n"
    "The demo sends the stick's events, as Windows sends them for a stick, to its\n"
    "own watcher window alone: no other program hears of a drive that is not there.\n"
    "  --mount-manager  the stick's events come from Wine's mount manager: the demo\n"
    "                   asks for them on its output, for\n"
    "                   scripts/fake-udisks2/with-fake-udisks2\n"
    "  --broadcast      the demo sends them to every top-level window, as the\n"
    "                   system does: every watch on this desktop reports the drive\n";

namespace {

// Prints the host calls made since the last print.
void PrintNewCalls(const PluginHost& host, size_t* printed) {
    for (; *printed < host.calls().size(); ++*printed)
        std::printf("  %s\n", Describe(host.calls()[*printed]).c_str());
}

// Pumps messages until the callback subroutine has run with `status`, for at
// most 30 s: the mount manager's broadcasts reach the watcher only while this
// thread pumps.
bool WaitForStatus(PluginHost& host, const char* status) {
    return PumpMessagesUntil([&] { return host.Variable("dw_USB_Status") == status; }, 30000);
}

}  // namespace

int Demo(PluginHost& host, DemoEvents events) {
    size_t printed = host.calls().size();
    host.DefineSubroutine("OnUSB", [&] {
        PrintNewCalls(host, &printed);
        std::printf("  OnUSB runs: dw_USB_Status=%s dw_USB_Drive=%s dw_USB_Type=%s\n",
                    host.Variable("dw_USB_Status").c_str(), host.Variable("dw_USB_Drive").c_str(),
                    host.Variable("dw_USB_Type").c_str());
        std::fflush(stdout);
    });
    HostParameters start({std::string("OnUSB")});
    std::printf("\nscript: dw_USB_Start \"OnUSB\"\n");
    host.plugin().execAction(1, start.data());
    bool ok = true;
    if (events == DemoEvents::kMountManager) {
        std::printf("system: a USB stick is plugged in\nfake-udisks2: plug stick1 E\n");
        std::fflush(stdout);
        ok = WaitForStatus(host, "Plug");
        if (ok)
            std::printf(
                "note: Wine's mount manager sent \"%s\"; Windows sends flags 0, \"Local Drive\", for a\n"
                "      USB stick that receives a drive letter\n",
                host.Variable("dw_USB_Type").c_str());
        std::printf("system: the USB stick is taken out\nfake-udisks2: unplug stick1\n");
        std::fflush(stdout);
        ok = WaitForStatus(host, "UnPlug") && ok;
    } else {
        // What Windows sends for a stick that receives a drive letter: flags 0.
        const auto send = [events](WPARAM event) {
            const DWORD driveE = 1u << ('E' - 'A');
            if (events == DemoEvents::kBroadcast)
                BroadcastVolume(event, driveE, 0);
            else
                SendVolumeToWatchers(event, driveE, 0);
        };
        std::printf("system: USB stick arrives as drive E\n");
        send(DBT_DEVICEARRIVAL);
        std::printf("system: USB stick removed from drive E\n");
        send(DBT_DEVICEREMOVECOMPLETE);
    }
    std::printf("script: dw_USB_Stop\n");
    HostParameters stop({});
    host.plugin().execAction(2, stop.data());
    PrintNewCalls(host, &printed);
    return ok ? 0 : Fail("the stick's events did not arrive within 30 s");
}
