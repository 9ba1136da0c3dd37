#include "plugin/host_text.h"

#include <windows.h>

void SetHostText(char** variable, TextView text) {
    if (!variable)
        return;
    if (*variable)
        GlobalFree(*variable);
    *variable = nullptr;
    if (text.empty())
        return;
    // GPTR is fixed and zero-filled: the zero fill supplies the terminator.
    void* block = GlobalAlloc(GPTR, text.size + 1);
    if (!block)
        return;
    CopyBytes(block, text.data, text.size);
    *variable = static_cast<char*>(block);
}
