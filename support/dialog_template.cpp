#include "support/dialog_template.h"

#include "support/text.h"

namespace {

const int kMaxTextWords = 32;  // 31 characters and the terminating zero

// Appends `text` as UTF-16 with its terminating zero; returns the next word.
WORD* PutWideText(WORD* at, const char* text) {
    const int count = MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<wchar_t*>(at), kMaxTextWords);
    if (count <= 0) {
        *at = 0;
        return at + 1;
    }
    return at + count;
}

}  // namespace

void BuildDialogTemplate(const DialogLayout& layout, DialogTemplate& dialogTemplate) {
    FillBytes(&dialogTemplate, 0, sizeof dialogTemplate);
    DLGTEMPLATE header = {};
    header.style = layout.style & ~WS_VISIBLE;
    header.dwExtendedStyle = layout.exStyle;
    header.cdit = 0;
    header.x = layout.x;
    header.y = layout.y;
    header.cx = layout.cx;
    header.cy = layout.cy;
    static_assert(sizeof header % sizeof(WORD) == 0, "the header is whole words");
    CopyBytes(dialogTemplate.words, &header, sizeof header);

    WORD* at = dialogTemplate.words + sizeof header / sizeof(WORD);
    *at++ = 0;  // no menu
    *at++ = 0;  // the standard dialog class
    at = PutWideText(at, layout.caption);
    if (layout.style & DS_SETFONT) {
        *at++ = layout.fontPointSize;
        PutWideText(at, layout.fontName);
    }
}
