#include "support/dialog_template.h"

#include <cstring>

namespace {

void AppendWideText(std::vector<WORD>& words, const char* text) {
    const int count = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (count <= 0) {
        words.push_back(0);
        return;
    }
    const size_t at = words.size();
    words.resize(at + count);
    MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<wchar_t*>(&words[at]), count);
}

}  // namespace

std::vector<WORD> BuildDialogTemplate(const DialogLayout& layout) {
    DLGTEMPLATE header = {};
    header.style = layout.style & ~WS_VISIBLE;
    header.dwExtendedStyle = layout.exStyle;
    header.cdit = 0;
    header.x = layout.x;
    header.y = layout.y;
    header.cx = layout.cx;
    header.cy = layout.cy;

    std::vector<WORD> words(sizeof header / sizeof(WORD));
    std::memcpy(words.data(), &header, sizeof header);
    words.push_back(0);  // no menu
    words.push_back(0);  // the standard dialog class
    AppendWideText(words, layout.caption);
    if (layout.style & DS_SETFONT) {
        words.push_back(layout.fontPointSize);
        AppendWideText(words, layout.fontName);
    }
    return words;
}
