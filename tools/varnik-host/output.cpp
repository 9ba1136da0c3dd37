#include "tools/varnik-host/output.h"

#include <cstdio>
#include <cstdlib>

const char kSecondsError[] = "--seconds takes a whole number from 0 to 86400";

int Fail(const std::string& message, int code) {
    std::fprintf(stderr, "varnik-host: %s\n", message.c_str());
    return code;
}

int UsageError(const std::string& message, const char* help) {
    std::fprintf(stderr, "varnik-host: %s\n%s", message.c_str(), help);
    return 2;
}

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04X", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

bool ParseSeconds(const std::string& arg, int* seconds) {
    char* end = nullptr;
    const long n = std::strtol(arg.c_str(), &end, 10);
    if (arg.empty() || *end != '\0' || n < 0 || n > 86400)
        return false;
    *seconds = static_cast<int>(n);
    return true;
}
