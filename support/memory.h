// The plug-in's own heap memory. Every text the plug-in owns lives in blocks
// from here; a null result means the memory is not there, and the caller
// leaves its value empty and goes on. Called on the host's thread only.
#pragma once

#include <stddef.h>

// Like realloc (a null block allocates a new one): the old block stays valid,
// and still the caller's, when the result is null.
void* ReallocateMemory(void* block, size_t size);

// A null block is ignored.
void FreeMemory(void* block);
