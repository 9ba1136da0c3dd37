// Text helpers shared by the event report and the watcher: number text,
// GUID text and exact byte search. Plain functions without state; callable
// from any thread. The caller owns every string passed in or appended to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Appends one blank and the decimal digits for zero and positive values,
// a minus sign and the digits for negative ones; no grouping.
void AppendNumberText(std::string& out, int32_t value);

// The same for a field the system declares unsigned: never negative.
void AppendUnsignedNumberText(std::string& out, uint32_t value);

// Appends the 38-character registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
// of the 16 GUID bytes at `bytes`, as stored in memory: Data1, Data2 and Data3
// are little-endian numbers, the eight Data4 bytes are written in stored order.
void AppendGuidText(std::string& out, const unsigned char* bytes);

// Position (from 0) of the first occurrence of `what` in `text`, comparing
// bytes exactly (case matters, NUL is an ordinary byte); npos if absent.
// An empty `what` is found at 0.
std::size_t FindText(std::string_view text, std::string_view what);
