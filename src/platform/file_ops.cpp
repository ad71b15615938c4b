// What file_ops.hpp says the same way on every platform: both C runtimes
// carry a failure's reason in errno.

#include "platform/file_ops.hpp"

#include <cerrno>
#include <cstring>

namespace freqimg {

int last_error() {
    return errno;
}

const char *error_text(int error) {
    return std::strerror(error);
}

int error_code(file_error error) {
    switch (error) {
    case file_error::bad_descriptor:
        return EBADF;
    case file_error::exists:
        return EEXIST;
    case file_error::is_folder:
        return EISDIR;
    case file_error::name_too_long:
        return ENAMETOOLONG;
    default:
        return ENOENT;
    }
}

} // namespace freqimg
