// Owns one GDI object and deletes it on every path.
#pragma once

#include <windows.h>

template <typename Handle>
class UniqueGdiObject {
public:
    explicit UniqueGdiObject(Handle handle = nullptr) : handle_(handle) {}
    ~UniqueGdiObject() {
        if (handle_)
            DeleteObject(handle_);
    }
    UniqueGdiObject(const UniqueGdiObject&) = delete;
    UniqueGdiObject& operator=(const UniqueGdiObject&) = delete;

    Handle get() const { return handle_; }

private:
    Handle handle_;
};

using UniqueBrush = UniqueGdiObject<HBRUSH>;
