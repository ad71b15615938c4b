// Folders and files for a test: a fresh folder, a small disk that can be
// filled, and whole files read and written.
#pragma once

#include <string>

namespace freqimg_test {

// A fresh directory, removed with all it holds at the end of the test.
struct temp_dir {
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir &) = delete;
    temp_dir &operator=(const temp_dir &) = delete;
    // The path of `name` in it.
    std::string at(const std::string &name) const { return path + "/" + name; }
    std::string path;
};

// A file system of `pages` memory pages of its own, mounted for the test,
// so that a write can find the disk full. `path` is empty where this
// machine cannot mount one.
struct small_disk {
    explicit small_disk(int pages);
    ~small_disk();
    small_disk(const small_disk &) = delete;
    small_disk &operator=(const small_disk &) = delete;
    // Takes up what room is left.
    void fill() const;
    std::string path;

  private:
    temp_dir mount_point;
};

std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &bytes);

} // namespace freqimg_test
