// varnik-testhost PLUGIN: loads a plug-in the way the host does and prints
// what it registers: its actions (hints with control characters shown as
// \r \n, parameter codes, counts) and its identity texts.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tools/testhost/test_host.h"

namespace {

std::string Hex(const std::string& bytes) {
    std::string out;
    char buf[4];
    for (unsigned char c : bytes) {
        std::snprintf(buf, sizeof buf, "%s%02X", out.empty() ? "" : " ", c);
        out += buf;
    }
    return out;
}

void PrintAction(const AddActionCall& call) {
    std::printf("action %d  %s\n", call.number, Quote(call.name).c_str());
    std::printf("  hint   %s (%zu bytes)\n", Quote(call.hint).c_str(), call.hint ? call.hint->size() : 0);
    std::printf("  codes  %s\n", call.typeCodes ? Hex(*call.typeCodes).c_str() : "null");
    std::printf("  count  %d, %d\n", call.count, call.countAgain);
}

void PrintIdentity(const char* label, char* block) {
    std::printf("%-12s %s\n", label, Quote(block ? HostText(block) : std::nullopt).c_str());
    if (block)
        GlobalFree(block);  // the host owns these blocks
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::printf("varnik-testhost 1.0\n");
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: varnik-testhost PLUGIN.nbp\n");
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
    return 0;
}
