// Portable platform: a file written whole or not at all.
//
// An OutputFile writes into a new file beside the target and, when everything was
// written, flushed and closed without an error, renames it over the target. A
// write that fails anywhere leaves whatever was at the target path untouched and
// removes only the file this object created. The new file needs a folder the
// user may write; the error names that folder when it is not. A symbolic link is
// followed, so the file it names is replaced and the link stays; a chain of links
// that never ends (a loop) is refused, as a plain write refuses it. A regular
// file the user may not write (by its permissions, for the effective user: root
// may) is refused too, though its folder would let it be replaced. A target that
// exists and is not a regular file (a device such as /dev/stdout, a FIFO) is
// written in place, since it cannot be replaced; it is never removed. The new
// file gets the permissions a newly created file gets under the process's umask.
// It is removed however the process ends before it is in place: at exit, and on
// a signal whose default action ends the process (SIGINT, SIGTERM, SIGHUP ...;
// not SIGKILL), for which a handler is installed unless the program has its own.
// A target whose own name is longer than its file system takes is refused at
// open, before anything is written.
#pragma once

#include <cstdio>
#include <string>

namespace portable {

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();  // an output never committed is discarded

    // Prepares to write `path`: false with `error` set when it cannot be written
    // (a folder, a missing or read-only folder, ...).
    bool open(const std::string& path, std::string& error);

    // Whether `path` can be written, checked without touching what is there: false
    // with `error` set when open would fail.
    static bool can_write(const std::string& path, std::string& error);

    // The stream to write to; null before open or after commit/discard.
    std::FILE* stream() const { return stream_; }

    // Flushes, closes and puts the file in place. False with `error` set when any
    // of it failed (a full disk, for one); the target is then left as it was.
    bool commit(std::string& error);

    // Drops what was written; the target is left as it was.
    void discard();

private:
    std::string target_;     // the path the file ends up at
    std::string temporary_;  // the new file beside it; empty when writing in place
    std::FILE* stream_ = nullptr;
};

// Whether two paths name one file that a run would write or read as two: the same
// existing regular file (the same device and inode, through any links and
// folders), or, where neither exists yet, the same place once links and folder
// names are resolved. An existing file that is not regular (a terminal, a FIFO,
// /dev/null) is never one file with anything: nothing there is replaced.
bool same_file(const std::string& a, const std::string& b);

// Removes every new file not yet in place, as the exit would: for a process that
// ends without running its exit handlers (_exit). Only unlinks fixed paths, so it
// may be called from any thread, also while the program's thread writes.
void remove_unfinished_output_files();

}  // namespace portable
