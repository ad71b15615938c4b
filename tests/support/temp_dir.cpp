#include "support/temp_dir.hpp"

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <unistd.h>

namespace freqimg_test {

temp_dir::temp_dir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "freqimg-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp");
    path = pattern;
}

temp_dir::~temp_dir() {
    std::error_code ec;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path, ec);
}

small_disk::small_disk(int pages) {
    std::string size = "size=" + std::to_string(pages * 4096) + ",nr_inodes=64";
    if (::mount("tmpfs", mount_point.path.c_str(), "tmpfs", 0, size.c_str()) == 0)
        path = mount_point.path;
}

small_disk::~small_disk() {
    if (!path.empty())
        ::umount2(path.c_str(), MNT_DETACH);
}

void small_disk::fill() const {
    int fd = ::open((path + "/filler").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    static const std::string page(4096, 'f');
    while (::write(fd, page.data(), page.size()) > 0) {
    }
    for (std::size_t n = 1; ::write(fd, page.data(), n) > 0;) {
    }
    ::close(fd);
}

std::string read_file(const std::string &path) {
    std::string s;
    if (std::FILE *f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            s.append(buffer, n);
        std::fclose(f);
    }
    return s;
}

void write_file(const std::string &path, const std::string &bytes) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
        std::fclose(f) != 0)
        throw std::runtime_error("cannot write " + path);
}

} // namespace freqimg_test
