// In-memory dialog templates: a DLGTEMPLATE with no items, the standard
// dialog class, no menu and a font. Both plug-in dialogs are built this way
// and get their controls afterwards with CreateWindowExA.
#pragma once

#include <windows.h>

#include <vector>

struct DialogLayout {
    DWORD style;  // WS_VISIBLE is dropped: the caller decides when to show
    DWORD exStyle;
    short x, y, cx, cy;  // dialog units
    const char* caption;
    WORD fontPointSize;
    const char* fontName;
};

// The template's words; pass data() to CreateDialogIndirectParamA. The vector
// keeps the DWORD alignment the template needs.
std::vector<WORD> BuildDialogTemplate(const DialogLayout& layout);
