// Shared by the libFuzzer targets: a private working folder.
//
// The package reads and writes its script "TAVLO.SCR" in the current directory,
// so each fuzzing process works in a fresh folder of its own under $TMPDIR (or
// /tmp). The change of folder happens in LLVMFuzzerInitialize, which libFuzzer
// calls before it reads its arguments; every argument that names a path is made
// absolute first (corpus folders and files, -artifact_prefix, -exact_artifact_path,
// -dict, -seed_inputs, -merge_control_file, -features_dir), and without an
// -artifact_prefix one is added for the folder the fuzzer was started in. So
// relative corpus paths work, and crash files land where they would without the
// change of folder. libFuzzer refuses a changed program name, so the modes that
// start the program again (-fork, -jobs, -minimize_crash) need it started by an
// absolute path. The private folder is removed at a normal exit; a crash leaves
// it behind, with the last script in it.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fuzz_support {

inline std::string& private_folder() {
    static std::string folder;
    return folder;
}

inline std::string absolute_path(const std::string& start, const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    return start + "/" + path;
}

// A comma-separated list of paths, each possibly "@file", made absolute.
inline std::string absolute_list(const std::string& start, const std::string& list) {
    std::string result;
    size_t from = 0;
    for (;;) {
        size_t comma = list.find(',', from);
        std::string item = list.substr(from, comma == std::string::npos ? comma : comma - from);
        if (!item.empty() && item[0] == '@')
            result += "@" + absolute_path(start, item.substr(1));
        else
            result += absolute_path(start, item);
        if (comma == std::string::npos) return result;
        result += ",";
        from = comma + 1;
    }
}

// Rewrites libFuzzer's arguments as described above and enters a new private
// folder. Aborts when the folder cannot be made.
inline void enter_private_folder(int* argc, char*** argv) {
    static std::vector<std::string> arguments;
    static std::vector<char*> pointers;
    const std::string start = std::filesystem::current_path().string();
    const char* path_flags[] = {"-artifact_prefix=",    "-exact_artifact_path=", "-dict=",
                                "-merge_control_file=", "-features_dir=",        "-seed_inputs="};
    bool has_artifact_prefix = false;
    for (int i = 0; i < *argc; ++i) {
        std::string argument = (*argv)[i];
        if (i == 0) {
            // libFuzzer refuses a changed program name.
        } else if (argument.empty() || argument[0] != '-') {
            argument = absolute_path(start, argument);  // a corpus folder or an input file
        } else {
            for (const char* flag : path_flags) {
                std::string name = flag;
                if (argument.compare(0, name.size(), name) != 0) continue;
                std::string value = argument.substr(name.size());
                argument = name + (name == "-seed_inputs=" ? absolute_list(start, value)
                                                           : absolute_path(start, value));
                if (name == "-artifact_prefix=") has_artifact_prefix = true;
            }
        }
        arguments.push_back(argument);
    }
    if (!has_artifact_prefix)
        arguments.insert(arguments.begin() + 1, "-artifact_prefix=" + start + "/");
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    *argc = int(arguments.size());
    *argv = pointers.data();

    const char* temporary = std::getenv("TMPDIR");
    std::string pattern =
        std::string(temporary != nullptr && *temporary != '\0' ? temporary : "/tmp") +
        "/tavlo-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr || chdir(pattern.c_str()) != 0) std::abort();
    private_folder() = pattern;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(private_folder(), ignored);
    });
}

}  // namespace fuzz_support
