#include "support/library_hold.h"

#include "support/library_main.h"

namespace {

int g_frames;      // frames of the library's code on the host's thread's stack
int g_holdsLetGo;  // holds of windows that are gone, not yet given back

void GiveBackHoldsIfOutermost() {
    if (g_frames != 0)
        return;
    for (; g_holdsLetGo > 0; --g_holdsLetGo)
        FreeLibrary(g_moduleInstance);
}

}  // namespace

bool TakeLibraryHold() {
    HMODULE self = nullptr;
    return GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCSTR>(&TakeLibraryHold), &self) != FALSE;
}

void LetGoOfLibraryHold() {
    ++g_holdsLetGo;
}

LibraryFrame::LibraryFrame() {
    ++g_frames;
}

LibraryFrame::~LibraryFrame() {
    --g_frames;
}

ExportFrame::ExportFrame() {
    GiveBackHoldsIfOutermost();
    ++g_frames;
}

ExportFrame::~ExportFrame() {
    --g_frames;
    GiveBackHoldsIfOutermost();
}
