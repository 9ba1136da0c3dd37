// varnik-testhost PLUGIN: loads a plug-in the way the host does and prints
// what it registers (its actions, with control characters in hints shown as
// \r \n, parameter codes, counts, and its identity texts), then runs a
// watch the way a publication's script does: dw_USB_Start "OnUSB", a stick
// plugged in and taken out, dw_USB_Stop. With --real-stick the events come
// from Wine's mount manager (run under tools/fake-udisks2/with-fake-udisks2). Every host call is printed in
// order, with what the OnUSB subroutine sees each time it runs.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tools/testhost/device_broadcast.h"
#include "tools/testhost/test_host.h"

namespace {

void PrintAction(const AddActionCall& call) {
    std::printf("action %d  %s\n", call.number, Quote(call.name).c_str());
    std::printf("  hint   %s (%zu bytes)\n", Quote(call.hint).c_str(), call.hint ? call.hint->size() : 0);
    std::printf("  codes  %s\n", call.typeCodes ? HexBytes(*call.typeCodes).c_str() : "null");
    std::printf("  count  %d, %d\n", call.count, call.countAgain);
}

void PrintIdentity(const char* label, char* block) {
    std::printf("%-12s %s\n", label, Quote(block ? HostText(block) : std::nullopt).c_str());
    if (block)
        GlobalFree(block);  // the host owns these blocks
}

// Prints the host calls made since the last print.
void PrintNewCalls(const TestHost& host, size_t* printed) {
    for (; *printed < host.calls().size(); ++*printed)
        std::printf("  %s\n", Describe(host.calls()[*printed]).c_str());
}

// Pumps messages until the callback subroutine has run with `status`, for at
// most 30 s: the broadcasts reach the watcher only while this thread pumps.
bool WaitForStatus(TestHost& host, const char* status) {
    return PumpMessagesUntil([&] { return host.Variable("dw_USB_Status") == status; }, 30000);
}

// With a real stick the system raises the events: Wine's mount manager,
// asked through tools/fake-udisks2/with-fake-udisks2. Otherwise the demo
// broadcasts them itself, as the system would.
bool RunWatch(TestHost& host, bool realStick) {
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
    if (realStick) {
        std::printf("system: a USB stick is plugged in\nfake-udisks2: plug stick1 E\n");
        std::fflush(stdout);
        ok = WaitForStatus(host, "Plug");
        std::printf("system: the USB stick is taken out\nfake-udisks2: unplug stick1\n");
        std::fflush(stdout);
        ok = WaitForStatus(host, "UnPlug") && ok;
    } else {
        std::printf("system: USB stick arrives as drive E\n");
        BroadcastVolume(DBT_DEVICEARRIVAL, 1u << 4, DBTF_MEDIA);
        std::printf("system: USB stick removed from drive E\n");
        BroadcastVolume(DBT_DEVICEREMOVECOMPLETE, 1u << 4, DBTF_MEDIA);
    }
    std::printf("script: dw_USB_Stop\n");
    HostParameters stop({});
    host.plugin().execAction(2, stop.data());
    PrintNewCalls(host, &printed);
    if (!ok)
        std::fprintf(stderr, "varnik-testhost: the stick's events did not arrive within 30 s\n");
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::printf("varnik-testhost 1.0\n");
        return 0;
    }
    const bool realStick = argc == 3 && std::string(argv[2]) == "--real-stick";
    if (argc != 2 && !realStick) {
        std::fprintf(stderr, "usage: varnik-testhost PLUGIN.nbp [--real-stick]\n");
        return 2;
    }
    TestHost host;
    std::string error;
    if (!host.Load(argv[1], &error)) {
        std::fprintf(stderr, "varnik-testhost: %s\n", error.c_str());
        return 1;
    }
    std::printf("plug-in      %s\n", argv[1]);
    host.RegisterAll();
    for (const HostCall& call : host.calls()) {
        if (auto* action = std::get_if<AddActionCall>(&call))
            PrintAction(*action);
        else
            std::printf("unexpected   %s\n", Describe(call).c_str());
    }
    char* title = nullptr;
    char* author = nullptr;
    char* description = nullptr;
    host.plugin().initPlugIn(nullptr, &title, &author, &description);
    PrintIdentity("title", title);
    PrintIdentity("author", author);
    PrintIdentity("description", description);
    return RunWatch(host, realStick) ? 0 : 1;
}
