// Portable platform: a file written whole or not at all. See output_file.h.
#include "output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#if !defined(__wasi__)
#include <csignal>
#else
typedef int sig_atomic_t;
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace portable {

namespace {

std::string folder_of(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The path a chain of symbolic links ends at (the path itself when it is none).
// A chain that goes on past 40 links (a loop) ends nowhere: false, with errno
// ELOOP, as a plain open answers it.
bool follow_links(const std::string& path, std::string& target) {
    target = path;
    for (int hops = 0; hops <= 40; ++hops) {
        struct stat status;
        if (lstat(target.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return true;
        std::string link(size_t(status.st_size > 0 ? status.st_size : 255) + 1, '\0');
        ssize_t length = readlink(target.c_str(), link.data(), link.size());
        if (length <= 0 || size_t(length) >= link.size()) return true;
        link.resize(size_t(length));
        target = link[0] == '/' ? link : folder_of(target) + "/" + link;
    }
    errno = ELOOP;
    return false;
}

// The longest file name the folder's file system holds; 255, the usual limit,
// when it cannot tell (a folder that does not exist, which open refuses anyway).
long longest_name(const std::string& folder) {
    errno = 0;
    long longest = pathconf(folder.c_str(), _PC_NAME_MAX);
    return longest > 0 ? longest : 255;
}

// The new file's name beside the target: hidden, and short enough for any legal
// target name (its first 64 characters, the process and an attempt number).
std::string temporary_name(const std::string& target, int attempt) {
    return folder_of(target) + "/." + name_of(target).substr(0, 64) + "." +
           std::to_string(getpid()) + "." + std::to_string(attempt) + ".tmp";
}

// ---- The new files not yet in place, removed however the process ends: at exit,
// and on a signal that would end it (Ctrl+C, kill, a lost terminal, a crash),
// short of SIGKILL. The handler only reads fixed slots and calls unlink, both
// safe in a signal handler; a slot's path is written before it is marked used.
// WebAssembly under WASI has no signals: there only the exit removes them.
struct TemporarySlot {
    volatile sig_atomic_t used = 0;
    char path[PATH_MAX] = {};
};
constexpr int temporary_slots = 16;
TemporarySlot temporaries[temporary_slots];

void remove_temporaries() {
    for (TemporarySlot& slot : temporaries) {
        if (slot.used != 0) unlink(slot.path);
    }
}

extern "C" void remove_temporaries_at_exit() {
    remove_temporaries();
}

#if !defined(__wasi__)
// Removes the files, then ends the process as the signal would have: the
// default action is back (SA_RESETHAND) and the signal is raised again.
extern "C" void remove_temporaries_on_signal(int signal_number) {
    int saved = errno;
    remove_temporaries();
    raise(signal_number);
    errno = saved;
}

// Installed once, for the signals whose action is still the default: a program
// (or a sanitizer) that handles or ignores a signal keeps it so.
void install_cleanup() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    std::atexit(remove_temporaries_at_exit);
    const int ending_signals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM,   SIGPIPE, SIGALRM,
                                  SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ,   SIGABRT, SIGSEGV,
                                  SIGBUS,  SIGFPE,  SIGILL,  SIGVTALRM, SIGPROF};
    for (int signal_number : ending_signals) {
        struct sigaction current;
        if (sigaction(signal_number, nullptr, &current) != 0) continue;
        if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) continue;
        struct sigaction cleanup = {};
        cleanup.sa_handler = remove_temporaries_on_signal;
        sigemptyset(&cleanup.sa_mask);
        cleanup.sa_flags = SA_RESETHAND | SA_NODEFER;
        sigaction(signal_number, &cleanup, nullptr);
    }
}
#else
void install_cleanup() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    std::atexit(remove_temporaries_at_exit);
}
#endif

void register_temporary(const std::string& path) {
    install_cleanup();
    if (path.size() >= PATH_MAX) return;
    for (TemporarySlot& slot : temporaries) {
        if (slot.used != 0) continue;
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.used = 1;
        return;
    }
}

void unregister_temporary(const std::string& path) {
    for (TemporarySlot& slot : temporaries) {
        if (slot.used != 0 && path == slot.path) slot.used = 0;
    }
}

std::string reason(const std::string& path, int error_number) {
    return path + ": " + std::strerror(error_number);
}

}  // namespace

namespace {

// The absolute path of a file that does not exist: its folder resolved when the
// folder exists, else the path itself with "." parts and repeated slashes dropped.
std::string absolute_place(const std::string& path) {
    const std::string name = name_of(path);
    if (char* folder = realpath(folder_of(path).c_str(), nullptr)) {
        std::string place = folder;
        std::free(folder);
        return (place == "/" ? "" : place) + "/" + name;
    }
    std::string whole = path;
    if (whole.empty() || whole[0] != '/') {
        char here[PATH_MAX];
        if (getcwd(here, sizeof here) == nullptr) return path;
        whole = std::string(here) + "/" + path;
    }
    std::string place;
    size_t start = 0;
    while (start <= whole.size()) {
        size_t end = whole.find('/', start);
        if (end == std::string::npos) end = whole.size();
        const std::string part = whole.substr(start, end - start);
        if (!part.empty() && part != ".") place += "/" + part;
        start = end + 1;
    }
    return place;
}

}  // namespace

bool same_file(const std::string& a, const std::string& b) {
    std::string target_a, target_b;
    if (!follow_links(a, target_a) || !follow_links(b, target_b)) return a == b;
    struct stat status_a, status_b;
    const bool a_exists = stat(target_a.c_str(), &status_a) == 0;
    const bool b_exists = stat(target_b.c_str(), &status_b) == 0;
    if (a_exists != b_exists) return false;
    if (a_exists) {
        return S_ISREG(status_a.st_mode) && status_a.st_dev == status_b.st_dev &&
               status_a.st_ino == status_b.st_ino;
    }
    return absolute_place(target_a) == absolute_place(target_b);
}

void remove_unfinished_output_files() {
    remove_temporaries();
}

bool OutputFile::can_write(const std::string& path, std::string& error) {
    std::string target;
    if (!follow_links(path, target)) {
        error = reason(path, errno);
        return false;
    }
    struct stat status;
    if (!path.empty() && stat(target.c_str(), &status) == 0 && !S_ISREG(status.st_mode) &&
        !S_ISDIR(status.st_mode)) {
        if (access(target.c_str(), W_OK) == 0) return true;
        error = reason(path, errno);
        return false;
    }
    OutputFile probe;
    return probe.open(path, error);  // the probe's new file is removed again
}

OutputFile::~OutputFile() {
    discard();
}

bool OutputFile::open(const std::string& path, std::string& error) {
    discard();
    if (path.empty()) {
        error = "no file name";
        return false;
    }
    if (!follow_links(path, target_)) {
        error = reason(path, errno);
        return false;
    }
    // The new file's hidden name is short whatever the target's, so a name the
    // file system cannot hold would be found only by the rename at the end.
    const std::string name = name_of(target_);
    const long longest = longest_name(folder_of(target_));
    if (name.size() > size_t(longest)) {
        error = path + ": " + std::strerror(ENAMETOOLONG) + " (the file's own name has " +
                std::to_string(name.size()) + " bytes; the file system takes at most " +
                std::to_string(longest) + ")";
        return false;
    }
    struct stat status;
    bool exists = stat(target_.c_str(), &status) == 0;
    if (exists && S_ISDIR(status.st_mode)) {
        error = path + ": is a folder";
        return false;
    }
    // A file the user may not write is not replaced, though its folder would
    // allow it: the check a plain open for writing makes, with the effective ids.
    if (exists && S_ISREG(status.st_mode) &&
        faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
        error = reason(path, errno);
        return false;
    }
    int fd = -1;
    if (exists && !S_ISREG(status.st_mode)) {
        // A device or FIFO: written in place. Without a reader a FIFO refuses at
        // once instead of blocking the program.
        fd = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            error = reason(path, errno);
            return false;
        }
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    } else {
        for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
            temporary_ = temporary_name(target_, attempt);
            fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST) break;
        }
        if (fd < 0) {
            int failure = errno;
            temporary_.clear();
            // The file itself may be writable: say that it is the folder.
            if (failure == EACCES || failure == EPERM || failure == EROFS) {
                error = path + ": the folder " + folder_of(target_) +
                        " must be writable (the new file is written there first, then "
                        "renamed over " +
                        name_of(target_) + "): " + std::strerror(failure);
            } else {
                error = reason(path, failure);
            }
            return false;
        }
        register_temporary(temporary_);
        // A file that is replaced keeps its permissions.
        if (exists) fchmod(fd, status.st_mode & 07777);
    }
    stream_ = fdopen(fd, "wb");
    if (stream_ == nullptr) {
        error = reason(path, errno);
        ::close(fd);
        discard();
        return false;
    }
    return true;
}

bool OutputFile::commit(std::string& error) {
    if (stream_ == nullptr) {
        error = target_ + ": not open";
        return false;
    }
    int failure = 0;
    errno = 0;
    if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0) failure = errno != 0 ? errno : EIO;
    if (failure == 0 && !temporary_.empty() && fsync(fileno(stream_)) != 0) failure = errno;
    int closed = std::fclose(stream_);
    stream_ = nullptr;
    if (failure == 0 && closed != 0) failure = errno;
    if (failure == 0 && !temporary_.empty() &&
        std::rename(temporary_.c_str(), target_.c_str()) != 0)
        failure = errno;
    if (failure != 0) {
        error = reason(target_, failure);
        discard();
        return false;
    }
    unregister_temporary(temporary_);
    temporary_.clear();
    return true;
}

void OutputFile::discard() {
    if (stream_ != nullptr) std::fclose(stream_);
    stream_ = nullptr;
    if (!temporary_.empty()) {
        unlink(temporary_.c_str());
        unregister_temporary(temporary_);
    }
    temporary_.clear();
}

}  // namespace portable
