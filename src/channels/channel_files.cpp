#include "channel_files.hpp"

#include <array>

namespace freqimg {
namespace {

fault system_fault(const char *path, const char *what, int error) {
    return make_fault("%s: %s: %s", path, what, error_text(error));
}

} // namespace

int write_whole_and_close(int fd, const void *data, std::size_t size) {
    file_snapshot before;
    bool regular = remember_file(fd, size, before);
    int error = write_all(fd, data, size);
    if (int closed = close_file(fd); error == 0)
        error = closed;
    if (regular) {
        if (error != 0)
            put_back(before);
        forget(before);
    }
    return error;
}

fault read_freq_table(freq_table &table, field_lines &lines, unsigned &rest_line) {
    // One byte past the limit tells a token that ends at the limit from one
    // that runs on.
    static std::array<char, freq_list_limit + 1> buffer;
    int fd = open_for_reading(freq_list_path);
    if (fd < 0)
        return system_fault(freq_list_path, "cannot open", last_error());
    if (!is_regular_file(fd)) {
        close_file(fd);
        return make_fault("%s: not a regular file", freq_list_path);
    }
    long long n = read_up_to(fd, buffer.data(), buffer.size());
    fault f = n < 0 ? system_fault(freq_list_path, "read error", last_error()) : fault{};
    close_file(fd);
    if (f)
        return f;
    return parse_freq_list(std::string_view(buffer.data(), static_cast<std::size_t>(n)), table,
                           lines, freq_list_limit, &rest_line);
}

fault check_files_apart() {
    // Each strip against the list, and the two strips against each other.
    constexpr std::array<std::array<const char *, 2>, 3> pairs{{{tx_strip_path, freq_list_path},
                                                                {rx_strip_path, freq_list_path},
                                                                {rx_strip_path, tx_strip_path}}};
    for (const auto &[written, other] : pairs)
        if (same_file(written, other))
            return make_fault("%s: same file as %s", written, other);
    return {};
}

fault write_strip(const char *path, const freq_table &table, std::size_t column) {
    strip text = make_strip(table, column);
    int fd = create_for_writing(path);
    if (fd < 0)
        return system_fault(path, "cannot create", last_error());
    std::uint64_t size = 0;
    int error = write_all(fd, text.data(), text.size());
    // Only now cut what an older, longer file held past the strip.
    if (error == 0 && is_regular_file(fd, &size) && size != strip_size)
        error = cut_to_size(fd, strip_size);
    if (int closed = close_file(fd); error == 0)
        error = closed;
    if (error != 0)
        return system_fault(path, "write error", error);
    return {};
}

fault read_strip(const char *path, const freq_table &table, std::size_t column, strip &out) {
    // A strip file that grew is caught by reading past its proper size.
    std::array<char, 128> buffer{};
    int fd = open_for_reading(path);
    if (fd < 0)
        return system_fault(path, "cannot open", last_error());
    long long n = read_up_to(fd, buffer.data(), buffer.size());
    fault f = n < 0 ? system_fault(path, "read error", last_error()) : fault{};
    close_file(fd);
    if (f)
        return f;
    f = parse_strip(path, std::string_view(buffer.data(), static_cast<std::size_t>(n)), out);
    if (!f && out != make_strip(table, column))
        f = make_fault("%s: changed since it was written", path);
    return f;
}

} // namespace freqimg
