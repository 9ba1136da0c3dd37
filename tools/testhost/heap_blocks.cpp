#include "tools/testhost/heap_blocks.h"

#include <algorithm>
#include <map>

#include "tools/testhost/import_hook.h"

namespace {

std::map<void*, size_t> g_liveBlocks;
bool g_inHook;
void* (*g_malloc)(size_t);
void* (*g_calloc)(size_t, size_t);
void* (*g_realloc)(void*, size_t);
void (*g_free)(void*);

void Track(void* block, size_t size) {
    if (block && !g_inHook) {
        g_inHook = true;  // the map allocates too
        g_liveBlocks[block] = size;
        g_inHook = false;
    }
}
void Untrack(void* block) {
    if (block && !g_inHook) {
        g_inHook = true;
        g_liveBlocks.erase(block);
        g_inHook = false;
    }
}
void* TrackMalloc(size_t size) {
    void* block = g_malloc(size);
    Track(block, size);
    return block;
}
void* TrackCalloc(size_t count, size_t size) {
    void* block = g_calloc(count, size);
    Track(block, count * size);
    return block;
}
void* TrackRealloc(void* old, size_t size) {
    void* block = g_realloc(old, size);
    if (block || size == 0)
        Untrack(old);
    Track(block, size);
    return block;
}
void TrackFree(void* block) {
    Untrack(block);
    g_free(block);
}

}  // namespace

void TrackHeapBlocks(HMODULE module) {
    g_liveBlocks.clear();
    HookImport(module, "msvcrt.dll", "malloc", TrackMalloc, &g_malloc);
    HookImport(module, "msvcrt.dll", "calloc", TrackCalloc, &g_calloc);
    HookImport(module, "msvcrt.dll", "realloc", TrackRealloc, &g_realloc);
    HookImport(module, "msvcrt.dll", "free", TrackFree, &g_free);
}

size_t LiveHeapBlocks() {
    return g_liveBlocks.size();
}

size_t LargestHeapBlock() {
    size_t largest = 0;
    for (const auto& block : g_liveBlocks)
        largest = std::max(largest, block.second);
    return largest;
}
