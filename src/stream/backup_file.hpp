// A backup of what a radio sent, kept in a new file: complete or not at
// all, and never in place of a file that has the name.
#pragma once

#include "common/fault.hpp"
#include "platform/ending_guard.hpp"
#include "platform/file_ops.hpp"

#include <span>
#include <string>

namespace freqimg {

// A backup kept in a new file, complete or not at all: its bytes go to a
// file of their own beside it ("backup.bin.part0"), which takes the name
// only if no file has it, so that nothing is ever replaced.
class backup_file {
  public:
    backup_file() = default;
    backup_file(const backup_file &) = delete;
    backup_file &operator=(const backup_file &) = delete;
    // Removes the file of its own, unless it had to be kept; and so does
    // an ending (Ctrl-C) while it is not yet named.
    ~backup_file();

    // Makes the file beside `path` at once, so that what cannot be saved is
    // refused before a radio is asked to send: "PATH: cannot save: REASON",
    // for a `path` that names anything ("File exists"), one that ends in a
    // folder separator ("Is a directory"), a name longer than the file
    // system takes ("File name too long"), and a folder that is missing or
    // may not be written.
    fault open(const char *path);

    // Writes `bytes` and gives them the name. Where the file system can
    // neither link nor rename without replacing (exFAT, SMB), the name is
    // created, where no file has it, and written instead; and where even
    // that fails, the file beside it is kept and named, never thrown away:
    // "PATH: cannot save: REASON; the bytes are kept in PART".
    fault save(std::span<const unsigned char> bytes);

  private:
    static void remove_part(const void *self);

    std::string path_, part_;
    unique_fd fd_;
    ending_guard removal_; // of the file of its own, should the run be ended
};

} // namespace freqimg
