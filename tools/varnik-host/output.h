// What every varnik-host command says the same way: one-line errors on
// stderr, JSON strings, the --seconds option.
#pragma once

#include <string>

// Prints "varnik-host: MESSAGE" on stderr; returns `code`, the exit status.
int Fail(const std::string& message, int code = 1);

// The same, then the command's help; returns 2, a wrong command line.
int UsageError(const std::string& message, const char* help);

// `text` as a JSON string, quotes included; control characters escaped.
std::string Json(const std::string& text);

// The N of --seconds N: a whole number from 0 to 86400.
bool ParseSeconds(const std::string& arg, int* seconds);
extern const char kSecondsError[];
