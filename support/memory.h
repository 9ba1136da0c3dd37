// The plug-in's own heap memory. Every text the plug-in owns lives in blocks
// from here; a null result means the memory is not there, and the caller
// leaves its value empty and goes on. Called on the host's thread only.
#pragma once

#include <stddef.h>

// A new block of `size` bytes, their values unspecified.
void* AllocateMemory(size_t size);

// `block` (never null) grown or shrunk to `size` bytes, perhaps moved, its
// bytes kept. When the result is null the old block stays valid, and still
// the caller's.
void* ResizeMemory(void* block, size_t size);

// A null block is ignored.
void FreeMemory(void* block);
