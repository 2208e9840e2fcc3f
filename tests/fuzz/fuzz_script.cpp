// libFuzzer target: plays arbitrary bytes as the script file through the reader,
// as playback does, until the reader ends playback. Every read must produce a
// mouse, key or periodic event or end playback with its check mark removed.
//
// Works in a private folder (fuzz_support.h): start it from anywhere, with
// relative or absolute corpus paths.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz_support.h"
#include "package_state.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz_support::enter_private_folder(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A new file each time: truncating one makes the file system write it out at
    // its close, which would cost more than everything else here.
    std::remove("TAVLO.SCR");
    FILE* file = std::fopen("TAVLO.SCR", "wb");
    if (file == nullptr) std::abort();
    if (std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) std::abort();

    reset_package_state();
    package_state.playback = true;
    // A counted line may stand for two billion events; a few thousand reads show
    // all the reader does with the bytes.
    for (int read = 0; read < 4000 && package_state.playback; ++read) {
        package_state.pending_kind = EventKind::None;
        if (!read_script_event()) {
            if (package_state.playback || package_state.play_one) std::abort();
            break;
        }
        int kind = package_state.pending_kind;
        if (kind != EventKind::Mouse && kind != EventKind::Key && kind != EventKind::Periodic)
            std::abort();
    }
    reset_package_state();
    return 0;
}
