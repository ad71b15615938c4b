#include "stream/stream_input.hpp"

#include "channels/freq_list.hpp"
#include "image/image_template.hpp"
#include "platform/file_ops.hpp"
#include "serial/line_transfer.hpp"
#include "serial/serial_line.hpp"
#include "stream/transfer_progress.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace freqimg {
stream_input capture_from_line(const char *name, line_port &line, unsigned silence_ms,
                               const std::function<void(std::size_t)> &progress) {
    stream_input in;
    capture_outcome got = capture_stream(line, stream_size, silence_ms, in.bytes, progress);
    if (got.hung_up)
        in.failure = make_fault("%s: the line hung up with %zu of %zu bytes received", name,
                                in.bytes.size(), stream_size);
    else if (got.failure)
        in.failure = make_fault("%s: read error: %s", name, got.failure.c_str());
    else if (got.skipped > 0)
        in.noise = {name, formatted("skipped %zu %s before the first frame header", got.skipped,
                                    got.skipped == 1 ? "byte" : "bytes")};
    return in;
}

namespace {

// Reads one stream from a borrowed line, showing the wait and the
// capture's progress in `shown`.
stream_input capture(const char *name, line_port &line, unsigned silence_ms,
                     transfer_progress &shown) {
    shown.note(formatted("%s: waiting for the radio to send (Ctrl-C stops)", name).c_str());
    stream_input in =
        capture_from_line(name, line, silence_ms, [&shown](std::size_t n) { shown.update(n); });
    if (in.failure)
        shown.end_line();
    else
        shown.finish(in.bytes.size());
    return in;
}

fault too_long(std::string_view name) {
    return make_fault("%.*s: stream is over %zu bytes, not %zu", static_cast<int>(name.size()),
                      name.data(), stream_input_limit, stream_size);
}

// Reads all of `fd`, up to one byte past the limit, into a buffer that
// grows with what it holds (sized at once for a regular file).
fault read_all(int fd, const char *name, std::vector<unsigned char> &bytes) {
    constexpr std::size_t most = stream_input_limit + 1;
    std::uint64_t size = 0;
    std::size_t capacity = is_regular_file(fd, &size)
                               ? static_cast<std::size_t>(std::min<std::uint64_t>(size + 1, most))
                               : 4096;
    std::size_t held = 0;
    for (;;) {
        bytes.resize(capacity);
        std::span<unsigned char> room = std::span(bytes).subspan(held);
        std::size_t n = 0;
        if (int error = read_up_to(fd, room.data(), room.size(), n)) {
            bytes.clear(); // a file or a pipe read in part is no capture
            return system_fault(name, "read error", error);
        }
        held += n;
        if (held < capacity || capacity == most)
            break;
        capacity = std::min(2 * capacity, most);
    }
    bytes.resize(held);
    if (held <= stream_input_limit)
        return {};
    bytes.clear();
    return too_long(name);
}

// A stream whose ASCII survived a text conversion that changed its other
// bytes: the first record's text is there, but no frame header is left.
bool re_encoded(std::span<const unsigned char> bytes) {
    std::string_view text = template_record(0);
    auto same = [](unsigned char b, char c) { return b == static_cast<unsigned char>(c); };
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end(), same) != bytes.end() &&
           std::search(bytes.begin(), bytes.end(), frame_header.begin(), frame_header.end()) ==
               bytes.end();
}

// A stream re-encoded as UTF-16 text: the first record's text is there
// with a zero byte between its characters, in either byte order.
bool is_utf16(std::span<const unsigned char> bytes) {
    std::string wide;
    for (char c : template_record(0))
        wide.append(1, c).append(1, '\0');
    wide.pop_back();
    return std::search(bytes.begin(), bytes.end(), wide.begin(), wide.end(),
                       [](unsigned char b, char c) {
                           return b == static_cast<unsigned char>(c);
                       }) != bytes.end();
}

} // namespace

bool is_standard_input(const char *path) {
    return path == nullptr || std::strcmp(path, "-") == 0;
}

std::string stream_input_name(const char *path) {
    return is_standard_input(path) ? "standard input" : quoted_name(path);
}

stream_input read_stream_input(const char *path, unsigned silence_ms, transfer_progress &shown) {
    const std::string input_name = stream_input_name(path);
    const char *name = input_name.c_str();
    stream_input in;
    bool standard = is_standard_input(path);
    // As gzip will not read compressed data from a terminal: nothing was
    // piped in, and the user's terminal is no stream.
    if (standard && is_users_terminal(standard_input)) {
        in.failure = make_fault(
            "standard input is a terminal: pipe a stream in, or name a FILE or a serial line");
        return in;
    }
    if (standard ? is_terminal(standard_input) : names_a_device(path)) {
        line_refusal why;
        if (auto line = serial_line::borrow(standard ? nullptr : path, line_use::receive, 0, why)) {
            // The faults and warnings copy `name`; nothing returned points to it.
            // cppcheck-suppress returnDanglingLifetime
            return capture(name, *line, silence_ms, shown);
        }
        if (why.kind != line_refusal::not_a_line) {
            in.failure = why.message;
            return in;
        }
        // A device that is no serial line (/dev/null) is read as a file.
    }
    unique_fd opened;
    if (int error = standard ? 0 : open_to_read_through(path, opened)) {
        in.failure = system_fault(name, "cannot open", error);
        return in;
    }
    in.failure = read_all(standard ? standard_input : opened.get(), name, in.bytes);
    return in;
}

fault input_diagnosis(std::string_view name, std::span<const unsigned char> bytes) {
    auto say = [name](const char *what) {
        return make_fault("%.*s: %s", static_cast<int>(name.size()), name.data(), what);
    };
    std::string_view text(reinterpret_cast<const char *>(bytes.data()),
                          std::min(bytes.size(), freq_list_limit + 1));
    if (!parse_freq_list(text).failure)
        return say("is a channel list, not a stream; freqimg makes the stream from it");
    const std::string what_to_do =
        "; run the pipe or redirection where bytes pass unchanged (cmd.exe, PowerShell 7.4 or "
        "later, any Unix shell)";
    if (is_utf16(bytes))
        return say(("the stream was re-encoded as UTF-16 text on its way, as PowerShell 5 does "
                    "with | and >" +
                    what_to_do)
                       .c_str());
    // The record texts are plain ASCII and survive; the frame bytes above 7F
    // do not.
    if (re_encoded(bytes))
        return say(("the stream's bytes above 7F were changed on its way, as when it is "
                    "re-encoded as text" +
                    what_to_do)
                       .c_str());
    if (!bytes.empty() && std::search(bytes.begin(), bytes.end(), frame_header.begin(),
                                      frame_header.end()) == bytes.end())
        return say(formatted("no upload stream: not one frame header (FE FE EE EF E4) in its %zu "
                             "bytes",
                             bytes.size())
                       .c_str());
    return {};
}

std::vector<fault> check_stream_input(const char *path, std::span<const unsigned char> bytes,
                                      decoded_stream &stream) {
    const std::string name = stream_input_name(path);
    // Bytes read past the limit by a reader of its own (the page's).
    if (bytes.size() > stream_input_limit)
        return {too_long(name)};
    stream = decode_stream(bytes);
    if (stream.faults.empty())
        return {};
    if (fault f = input_diagnosis(name, bytes))
        return {f};
    std::vector<fault> faults;
    for (const std::string &f : stream.faults)
        faults.push_back({std::string(name).append(": ").append(f)});
    return faults;
}

} // namespace freqimg
