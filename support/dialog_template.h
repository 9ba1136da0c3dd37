// In-memory dialog templates: a DLGTEMPLATE with no items, the standard
// dialog class, no menu and a font. Both plug-in dialogs are built this way
// and get their controls afterwards with CreateWindowExA.
#pragma once

#include <windows.h>

struct DialogLayout {
    DWORD style;  // WS_VISIBLE is dropped: the caller decides when to show
    DWORD exStyle;
    short x, y, cx, cy;  // dialog units
    const char* caption;
    WORD fontPointSize;
    const char* fontName;
};

// Room for the header and a caption and font name of up to 31 characters
// each, which the plug-in's own dialogs keep well within; a longer one is
// left empty rather than cut. DWORD-aligned, as the system requires.
struct DialogTemplate {
    alignas(DWORD) WORD words[80];

    LPCDLGTEMPLATEA get() const { return reinterpret_cast<LPCDLGTEMPLATEA>(words); }
};

void BuildDialogTemplate(const DialogLayout& layout, DialogTemplate& dialogTemplate);
