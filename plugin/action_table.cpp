#include "plugin/action_table.h"

#include <string.h>

#include "plugin/host_context.h"

namespace {

struct ActionRow {
    int32_t number;
    const char* name;
    const char* hint;
    // One type code per parameter; an action without parameters still hands
    // the host a single zero byte, never a null pointer.
    char typeCode;
    uint8_t parameterCount;
};

const ActionRow kActions[] = {
    {kActionStart, "dw_USB_Start", "Starts the USB Control \r\ndw_USB_Start \"CallBack Neo Function\"", '\1', 1},
    {kActionStop, "dw_USB_Stop", "Stops the USB Control \r\ndw_USB_Stop ", '\0', 0},
};

// The action's texts, built for one call: the host reads them during the
// call and copies what it keeps.
struct ActionTexts {
    char name[16];
    char hint[64];
    char typeCodes[2];  // the code and the terminating zero byte

    explicit ActionTexts(const ActionRow& row) : typeCodes{row.typeCode, '\0'} {
        CopyText(name, sizeof name, row.name);
        CopyText(hint, sizeof hint, row.hint);
    }

    static void CopyText(char* to, size_t room, const char* text) {
        const size_t length = strlen(text);
        const size_t kept = length < room ? length : room - 1;  // the table's texts all fit
        memcpy(to, text, kept);
        to[kept] = '\0';
    }
};

}  // namespace

void RegisterActions() {
    for (const ActionRow& row : kActions) {
        // Read anew for each row: the host may re-register from inside the call.
        AddActionCallback addAction = g_host.addAction;
        if (!addAction)
            return;
        ActionTexts texts(row);
        addAction(row.number, texts.name, texts.hint, texts.typeCodes, row.parameterCount, row.parameterCount);
    }
}
