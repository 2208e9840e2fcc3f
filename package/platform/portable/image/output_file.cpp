// Portable platform: a file written whole or not at all. See output_file.h.
#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
std::string follow_links(const std::string& path) {
    std::string target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat status;
        if (lstat(target.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) break;
        std::string link(size_t(status.st_size > 0 ? status.st_size : 255) + 1, '\0');
        ssize_t length = readlink(target.c_str(), link.data(), link.size());
        if (length <= 0 || size_t(length) >= link.size()) break;
        link.resize(size_t(length));
        target = link[0] == '/' ? link : folder_of(target) + "/" + link;
    }
    return target;
}

std::string reason(const std::string& path, int error_number) {
    return path + ": " + std::strerror(error_number);
}

}  // namespace

bool OutputFile::can_write(const std::string& path, std::string& error) {
    std::string target = follow_links(path);
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
    target_ = follow_links(path);
    struct stat status;
    bool exists = stat(target_.c_str(), &status) == 0;
    if (exists && S_ISDIR(status.st_mode)) {
        error = path + ": is a folder";
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
        std::string stem =
            folder_of(target_) + "/." + name_of(target_) + "." + std::to_string(getpid()) + ".";
        for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
            temporary_ = stem + std::to_string(attempt) + ".tmp";
            fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST) break;
        }
        if (fd < 0) {
            error = reason(path, errno);
            temporary_.clear();
            return false;
        }
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
    temporary_.clear();
    return true;
}

void OutputFile::discard() {
    if (stream_ != nullptr) std::fclose(stream_);
    stream_ = nullptr;
    if (!temporary_.empty()) unlink(temporary_.c_str());
    temporary_.clear();
}

}  // namespace portable
