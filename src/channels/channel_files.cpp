#include "channels/channel_files.hpp"

#include <algorithm>
#include <array>
#include <cerrno>

namespace freqimg {
namespace {

// Reads on from `fd`, past what the list was read from, for where text
// begins after it, counting lines on from `counted`.
template <std::size_t n>
rest_of_list look_past_the_list(int fd, std::array<char, n> &buffer, line_counter counted) {
    rest_of_list rest;
    rest_search search(counted);
    for (bool over = false; !over;) {
        std::size_t got = 0;
        if (int error = read_up_to(fd, buffer.data(), buffer.size(), got)) {
            rest.unread = {freq_list_path,
                           formatted("the rest of the file after channel 20 could not be "
                                     "read: %s",
                                     error_text(error))};
            return rest;
        }
        over = search.see({buffer.data(), got});
    }
    rest.line = search.line();
    if (search.gave_up())
        rest.unread = blanks_warning();
    return rest;
}

// "NAME: WHAT: REASON" for a file of the run's own that cannot be opened,
// and for one its owner has shut themselves out of, the way back in.
fault open_fault(const char *path, const char *what, int error) {
    fault f = system_fault(path, what, error);
    if (error == EACCES && owner_lacks_access(path))
        f.text += formatted("; give yourself access with 'chmod u+rw %s'", path);
    return f;
}

} // namespace

fault read_freq_table(freq_table &table, field_lines &lines, rest_of_list &rest) {
    // One byte past the limit tells a token that ends at the limit from one
    // that runs on.
    static std::array<char, freq_list_limit + 1> buffer;
    unique_fd fd;
    if (int error = open_for_reading(freq_list_path, fd)) {
        fault f = open_fault(freq_list_path, "cannot open", error);
        // Explorer hides the ".txt" a Windows editor adds.
        if (error == ENOENT && path_exists("freq.dat.txt"))
            f.text += "; there is a freq.dat.txt: rename it to freq.dat";
        return f;
    }
    if (!is_regular_file(fd.get()))
        return make_fault("%s: not a regular file", freq_list_path);
    std::size_t n = 0;
    if (int error = read_up_to(fd.get(), buffer.data(), buffer.size(), n))
        return system_fault(freq_list_path, "read error", error);
    parsed_list list = parse_freq_list(std::string_view(buffer.data(), n));
    table = list.table;
    lines = list.lines;
    rest = {list.rest.line, {}};
    if (!list.failure && list.rest.line == 0 && n == buffer.size())
        rest = look_past_the_list(fd.get(), buffer, list.rest.counted);
    return list.failure;
}

fault check_files_apart() {
    // A folder is left to the write, which names it ("Is a directory").
    for (const char *path : {tx_strip_path, rx_strip_path})
        if (path_kind(path) == file_kind::special)
            return make_fault("%s: not a regular file", path);
    for (const char *path : {freq_list_path, tx_strip_path, rx_strip_path})
        if (same_file(standard_output, path))
            return make_fault("standard output: same file as %s", path);
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
    unique_fd fd;
    if (int error = create_for_writing(path, fd))
        return open_fault(path, "cannot create", error);
    std::uint64_t size = 0;
    // Should a device or a FIFO have taken its name since it was checked,
    // nothing is written to it.
    if (!is_regular_file(fd.get(), &size))
        return make_fault("%s: not a regular file", path);
    int error = write_all(fd.get(), text.data(), text.size());
    // Only now cut what an older, longer file held past the strip.
    if (error == 0 && size > window_strip_size)
        error = cut_to_size(fd.get(), window_strip_size);
    if (int closed = fd.close(); error == 0)
        error = closed;
    if (error != 0)
        return system_fault(path, "write error", error);
    return {};
}

fault read_strip(const char *path, const freq_table &table, std::size_t column, strip &out) {
    // A strip file that grew is caught by reading past its proper size.
    std::array<char, 128> buffer{};
    unique_fd fd;
    if (int error = open_for_reading(path, fd))
        return open_fault(path, "cannot open", error);
    std::size_t n = 0;
    if (int error = read_up_to(fd.get(), buffer.data(), buffer.size(), n))
        return system_fault(path, "read error", error);
    // The length a fault names is the file's, past what was read of it.
    std::uint64_t size = 0;
    if (!is_regular_file(fd.get(), &size))
        size = n;
    fault f = parse_strip(path, std::string_view(buffer.data(), n), out, size);
    if (!f && out != make_strip(table, column))
        f = make_fault("%s: changed since it was written", path);
    return f;
}

} // namespace freqimg
