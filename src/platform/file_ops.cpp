// What file_ops.hpp says the same way on every platform: both C runtimes
// carry a failure's reason in errno.

#include "platform/file_ops.hpp"

#include <cerrno>
#include <cstring>

namespace freqimg {

const char *error_text(int error) {
    return std::strerror(error);
}

int write_whole_and_close(int fd, const void *data, std::size_t size) {
    file_snapshot before;
    bool regular = before.remember(fd, size);
    int error = write_all(fd, data, size);
    if (int closed = close_file(fd); error == 0)
        error = closed;
    if (regular && error != 0)
        before.put_back();
    return error;
}

int write_to_disk_and_close(unique_fd &fd, std::span<const unsigned char> bytes) {
    int error = write_all(fd.get(), bytes.data(), bytes.size());
    if (error == 0)
        error = flush_to_disk(fd.get());
    if (int closed = fd.close(); error == 0)
        error = closed;
    return error;
}

int save_new_file(const char *path, std::span<const unsigned char> bytes) {
    unique_fd fd;
    if (int error = create_new(path, fd))
        return error;
    int error = write_to_disk_and_close(fd, bytes);
    if (error != 0)
        remove_file(path);
    return error;
}

} // namespace freqimg
