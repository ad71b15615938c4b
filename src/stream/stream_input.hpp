// Reading an upload stream to check or send: from a file, a pipe or a
// serial line, never without bound; and, where what was given instead of a
// stream is plain, saying so in one line rather than in sixty.
#pragma once

#include "common/fault.hpp"
#include "image/image_decode.hpp"
#include "serial/line_port.hpp"
#include "stream/transfer_progress.hpp"

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace freqimg {

// More than any stream, so that an endless input is cut off and refused.
inline constexpr std::size_t stream_input_limit = 1 << 20;

// What read_stream_input read: the bytes, a fault, and noise skipped
// before the first frame header of a capture ("NAME: warning: skipped 3
// bytes before the first frame header").
struct stream_input {
    std::vector<unsigned char> bytes;
    fault failure;
    warning noise;
};

// Reads the stream in `path`, or in standard input when `path` is null or
// "-": all of a file or a pipe, up to stream_input_limit. A serial line (a
// terminal device) never ends its input, so from one it reads one stream:
// the line is borrowed for reading as serial_line.hpp says, and read as
// capture_stream reads it, with `silence_ms`, the wait and the capture
// shown in `shown`. Refuses a standard input that is the user's own
// terminal. Faults name the input ("standard input" or the path): "cannot
// open: REASON", "read error: REASON", "stream is over 1048576 bytes, not
// 2944", "the line hung up with 1380 of 2944 bytes received", and the
// refusals of borrowing a line. A capture from a line that ended in a fault
// leaves in `bytes` what came, to be kept; any other fault leaves `bytes`
// empty.
stream_input read_stream_input(const char *path, unsigned silence_ms, transfer_progress &shown);

// Reads one stream from `line`, named `name` in faults and warnings, as
// capture_stream reads it (see there for `silence_ms` and `progress`): the
// bytes from the first frame header on, the noise skipped before it, and
// "NAME: the line hung up with 1380 of 2944 bytes received" or "NAME: read
// error: REASON", with what came kept in `bytes`.
stream_input capture_from_line(const char *name, line_port &line, unsigned silence_ms,
                               const std::function<void(std::size_t)> &progress);

// Decodes `bytes`, read from `path`, into `stream`. Returns what is wrong
// with them: one fault "NAME: ..." when the input is plainly no stream (see
// input_diagnosis), otherwise one for each fault the decoder found; none
// for a sound stream.
std::vector<fault> check_stream_input(const char *path, std::span<const unsigned char> bytes,
                                      decoded_stream &stream);

// For bytes that are no sound stream, and plainly something else, what they are
// and what to do, naming the input `name`: a channel list ("NAME: is a
// channel list, not a stream; ..."), a stream that a shell or an editor
// re-encoded as UTF-16 or other text on its way, or bytes without a single
// frame header. Otherwise an empty fault.
fault input_diagnosis(std::string_view name, std::span<const unsigned char> bytes);

// Returns true when `path` means standard input: null, or "-".
bool is_standard_input(const char *path);

// The name faults give the input at `path`, safe to print.
std::string stream_input_name(const char *path);

} // namespace freqimg
