// The package's one process-wide state record.
#include "package_state.h"

PackageState package_state;

void reset_package_state() {
    for (HGLOBAL& slot : package_state.log_slots) {
        if (slot != nullptr) GlobalFree(slot);
        slot = nullptr;
    }
    if (package_state.script_stream != nullptr) fclose(package_state.script_stream);
    if (package_state.canvas_dc != nullptr) DeleteDC(package_state.canvas_dc);
    if (package_state.canvas_bitmap != nullptr) DeleteObject(package_state.canvas_bitmap);
    package_state = PackageState{};
}
