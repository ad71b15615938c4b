#include "stream/backup_file.hpp"

#include <algorithm>
#include <cerrno>

namespace freqimg {
namespace {

// `name` cut, at the end of a UTF-8 character, to what the file system
// counts as at most `size`.
std::string name_cut_to(std::string name, std::size_t size) {
    while (name_length(name) > size) {
        // The last character goes: its lead byte and what continues it.
        std::size_t last = name.size() - 1;
        while (last > 0 && (static_cast<unsigned char>(name[last]) & 0xC0U) == 0x80)
            --last;
        name.resize(last);
    }
    return name;
}

} // namespace

// Only calls that are safe in a signal handler. Windows removes no file
// that is open.
void backup_file::remove_part(const void *self) {
    const auto *backup = static_cast<const backup_file *>(self);
    if (backup->fd_)
        close_file(backup->fd_.get());
    remove_file(backup->part_.c_str());
}

backup_file::~backup_file() {
    fd_.close();
    removal_.finish(remove_part, this);
}

fault backup_file::open(const char *path) {
    path_ = path;
    auto refuse = [path](int error) {
        return system_fault(quoted_name(path).c_str(), "cannot save", error);
    };
    if (path_exists(path))
        return refuse(EEXIST);
    std::size_t slash = path_.find_last_of(folder_separators);
    std::string folder = slash == std::string::npos ? "" : path_.substr(0, slash + 1);
    std::string name = path_.substr(folder.size());
    if (name.empty())
        return refuse(EISDIR);
    const std::size_t longest = longest_name(folder.empty() ? "." : folder.c_str());
    if (name_length(name) > longest)
        return refuse(ENAMETOOLONG);
    int error = 0;
    for (int n = 0; !fd_ && n < 100; ++n) {
        std::string suffix = ".part" + std::to_string(n);
        part_ = folder;
        part_.append(name_cut_to(name, longest - std::min(longest, suffix.size()))).append(suffix);
        error = create_new(part_.c_str(), fd_);
        if (error != 0 && error != EEXIST)
            break;
    }
    if (fd_) {
        removal_.arm(remove_part, this);
        return {};
    }
    part_.clear();
    return refuse(error);
}

fault backup_file::save(std::span<const unsigned char> bytes) {
    const std::string shown = quoted_name(path_);
    int error = write_to_disk_and_close(fd_, bytes);
    if (error != 0)
        return system_fault(shown.c_str(), "cannot save", error);
    error = rename_new(part_.c_str(), path_.c_str());
    // A file system without hard links or a rename that replaces nothing:
    // the name itself, made where no file has it.
    if (error != 0 && error != EEXIST && (error = save_new_file(path_.c_str(), bytes)) == 0)
        remove_file(part_.c_str());
    removal_.take(); // the part is taken by the name, or kept
    std::string kept = error == 0 ? "" : quoted_name(part_);
    part_.clear();
    if (error == 0)
        return {};
    return make_fault("%s: cannot save: %s; the bytes are kept in %s", shown.c_str(),
                      error_text(error), kept.c_str());
}

} // namespace freqimg
