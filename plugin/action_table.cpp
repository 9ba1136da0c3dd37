#include "plugin/action_table.h"

#include "plugin/host_context.h"

namespace {

// Each row holds its texts itself, so a copy of the row is a set of texts
// made for one call: the host reads them during the call and copies what it
// keeps.
struct ActionRow {
    int32_t number;
    char name[16];
    char hint[64];
    // One type code per parameter, then a zero byte: an action without
    // parameters still hands the host a zero byte, never a null pointer.
    char typeCodes[2];
    uint8_t parameterCount;
};

const ActionRow kActions[] = {
    {kActionStart, "dw_USB_Start", "Starts the USB Control \r\ndw_USB_Start \"CallBack Neo Function\"", "\1", 1},
    {kActionStop, "dw_USB_Stop", "Stops the USB Control \r\ndw_USB_Stop ", "", 0},
};

}  // namespace

void RegisterActions() {
    for (const ActionRow& row : kActions) {
        // Read anew for each row: the host may re-register from inside the call.
        AddActionCallback addAction = g_host.addAction;
        if (!addAction)
            return;
        ActionRow texts = row;
        addAction(texts.number, texts.name, texts.hint, texts.typeCodes, texts.parameterCount,
                  texts.parameterCount);
    }
}
