// Portable KERNEL32: file handles, and the C runtime's bridge from a handle to a
// stream.
//
// A file handle holds a POSIX descriptor. CreateFileA opens with O_NONBLOCK, so
// that a FIFO never holds the caller inside the open waiting for its other end,
// and clears the flag again once the file is open, so that reads and writes on it
// behave as usual. Folders are refused, as Windows refuses them without
// FILE_FLAG_BACKUP_SEMANTICS. Live handles are kept in a set, so a handle that is
// not a live file of ours is refused without reading the memory it points at.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "../win32_portable.h"
#include "live_handles.h"

namespace {

struct FileObject {
    int descriptor;
};

portable::LiveHandles<FileObject>& live_files() {
    static portable::LiveHandles<FileObject> files;
    return files;
}

FileObject* live_file(HANDLE handle) {
    return live_files().find(handle);
}

// The descriptor, retrying an open that a signal interrupted.
int open_descriptor(const char* name, int flags) {
    int descriptor;
    do descriptor = ::open(name, flags | O_NONBLOCK | O_CLOEXEC, 0666);
    while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share_mode,
                          LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                          HANDLE template_file) {
    if (name == nullptr) return INVALID_HANDLE_VALUE;
    bool reads = (access & GENERIC_READ) != 0;
    bool writes = (access & GENERIC_WRITE) != 0;
    int open_flags = reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    switch (disposition) {
        case CREATE_ALWAYS: open_flags |= O_CREAT | O_TRUNC; break;
        case OPEN_EXISTING: break;
        default: return INVALID_HANDLE_VALUE;
    }
    int descriptor = open_descriptor(name, open_flags);
    if (descriptor < 0) return INVALID_HANDLE_VALUE;
    struct stat status;
    int file_flags = ::fcntl(descriptor, F_GETFL);
    if (::fstat(descriptor, &status) != 0 || S_ISDIR(status.st_mode) || file_flags < 0 ||
        ::fcntl(descriptor, F_SETFL, file_flags & ~O_NONBLOCK) != 0) {
        ::close(descriptor);
        return INVALID_HANDLE_VALUE;
    }
    auto* file = new FileObject{descriptor};
    live_files().add(file);
    return file;
}

DWORD WINAPI GetFileType(HANDLE handle) {
    FileObject* file = live_file(handle);
    struct stat status;
    if (file == nullptr || ::fstat(file->descriptor, &status) != 0) return FILE_TYPE_UNKNOWN;
    if (S_ISREG(status.st_mode)) return FILE_TYPE_DISK;
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) return FILE_TYPE_CHAR;
    if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) return FILE_TYPE_PIPE;
    return FILE_TYPE_UNKNOWN;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    FileObject* file = live_file(handle);
    if (file == nullptr) return FALSE;
    live_files().remove(file);
    int result = ::close(file->descriptor);
    delete file;
    return result == 0 ? TRUE : FALSE;
}

int _open_osfhandle(intptr_t osfhandle, int flags) {
    FileObject* file = live_file(reinterpret_cast<HANDLE>(osfhandle));
    if (file == nullptr) return -1;
    int descriptor = file->descriptor;
    live_files().remove(file);
    delete file;
    return descriptor;
}

FILE* _fdopen(int fd, const char* mode) {
    if (mode == nullptr) return nullptr;
    std::string posix_mode;
    for (const char* c = mode; *c != '\0'; ++c)
        if (*c != 't') posix_mode += *c;
    return ::fdopen(fd, posix_mode.c_str());
}

int _close(int fd) {
    return ::close(fd);
}
