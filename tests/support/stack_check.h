// How far a call moved the caller's stack pointer. A stdcall function pops
// its own arguments, so the answer is 0; a cdecl one leaves them (-4 per
// argument), which the real host never cleans up. Only 32-bit x86 has
// calling conventions to tell apart, so this exists in 32-bit builds only.
#pragma once

#include <cstdint>

int StackDriftOfCall(const void* function, const uintptr_t* arguments, int count);
