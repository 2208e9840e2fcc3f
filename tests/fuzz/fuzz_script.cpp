// libFuzzer target: plays arbitrary bytes as the script file through the reader,
// as playback does, until the reader ends playback.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "package_state.h"

namespace {

// The script lives in the current directory: work in a private folder.
bool enter_private_folder() {
    char pattern[] = "/tmp/tavlo-fuzz-XXXXXX";
    const char* folder = mkdtemp(pattern);
    return folder != nullptr && chdir(folder) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = enter_private_folder();
    if (!ready) std::abort();

    FILE* file = std::fopen("TAVLO.SCR", "wb");
    if (file == nullptr) std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    reset_package_state();
    package_state.playback = true;
    // A counted line may stand for two billion events; a few thousand reads show
    // all the reader does with the bytes.
    for (int read = 0; read < 4000 && package_state.playback; ++read) {
        package_state.pending_kind = EventKind::None;
        if (!read_script_event()) break;
        int kind = package_state.pending_kind;
        if (kind != EventKind::Mouse && kind != EventKind::Key && kind != EventKind::Periodic)
            std::abort();
    }
    reset_package_state();
    return 0;
}
