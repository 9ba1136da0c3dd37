#include "tests/support/host_blocks.h"

#include "tests/support/import_hook.h"

namespace {

decltype(&GlobalAlloc) g_realGlobalAlloc;
decltype(&GlobalFree) g_realGlobalFree;

HGLOBAL WINAPI OnGlobalAlloc(UINT flags, SIZE_T bytes) {
    HGLOBAL block = g_realGlobalAlloc(flags, bytes);
    PluginHost::Record(GlobalAllocCall{flags, bytes, block});
    return block;
}

HGLOBAL WINAPI OnGlobalFree(HGLOBAL block) {
    PluginHost::Record(GlobalFreeCall{block});
    return g_realGlobalFree(block);
}

}  // namespace

bool WatchHostBlocks(PluginHost& host) {
    const bool alloc = HookImport(host.module(), "KERNEL32.dll", "GlobalAlloc", &OnGlobalAlloc, &g_realGlobalAlloc);
    const bool free = HookImport(host.module(), "KERNEL32.dll", "GlobalFree", &OnGlobalFree, &g_realGlobalFree);
    return alloc && free;
}
