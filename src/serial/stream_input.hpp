// Reading an upload stream to check or send: from a file, a pipe or a
// serial line, never without bound, and decoding it.
#pragma once

#include "fault.hpp"
#include "image_decode.hpp"

#include <cstddef>
#include <string_view>
#include <vector>

namespace freqimg {

// More than any stream, so that an endless input is cut off and refused.
inline constexpr std::size_t stream_input_limit = 1 << 20;

// Reads the stream in `path`, or in standard input when `path` is null or
// "-", into `bytes`: all of a file or a pipe, up to stream_input_limit. A
// serial line (a terminal device) never ends its input, so from one it reads
// one stream: the line is borrowed as serial_line.hpp says, and the reading
// stops after `stream_bytes` or once data has begun and then paused for
// `silence_ms`. Faults name the input ("standard input" or the path):
// "cannot open: REASON", "read error: REASON", "stream is over 1048576
// bytes, not 2944".
fault read_stream_input(const char *path, std::size_t stream_bytes, unsigned silence_ms,
                        std::vector<unsigned char> &bytes);

// Reads the stream in `path` as read_stream_input does, from a line within
// `silence_ms`, and decodes it into `stream`. Prints each fault on standard
// error as "PROGRAM: NAME: FAULT" and returns false if there is any.
bool read_sound_stream(const char *program, const char *path, unsigned silence_ms,
                       std::vector<unsigned char> &bytes, decoded_stream &stream);

// Writes `text` to standard output and closes it. Returns 0, or reports the
// failure as "PROGRAM: write error: REASON" and returns 1.
int write_output(const char *program, std::string_view text);

// Makes running out of memory end the process with one line, "PROGRAM:
// memory exhausted", and exit status 1, after putting a borrowed line back.
// No exception: with memory this short the runtime may have none left to
// throw one with. `program` must live as long as the process.
void end_when_out_of_memory(const char *program);

// The name faults give the input at `path`.
const char *stream_input_name(const char *path);

// Reads the long option `name` at argv[i], given as "NAME VALUE" (then `i`
// moves on to VALUE) or "NAME=VALUE". Returns false when argv[i] is another
// argument; sets `value` to null when VALUE is missing.
bool long_option(char **argv, int &i, std::string_view name, const char *&value);

// Reads a time in seconds, whole or with a fraction ("5", "0.5"), from 1 ms
// to a day, into `milliseconds`. Returns false for anything else.
bool parse_seconds(const char *text, unsigned &milliseconds);

} // namespace freqimg
