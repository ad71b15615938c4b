// Reading an upload stream back: every frame is checked against the frame,
// record text and checksum rules, and the record texts and image bytes are
// recovered, so a stream can be shown, sent or turned back into a channel
// list. A sound stream is also compared with what freqimg writes, text for
// text, so that a stream freqimg would not make is never taken for one.
#pragma once

#include "image/image_frame.hpp"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace freqimg {

// An image byte of a sound stream that freqimg writes otherwise: in a fixed
// record (the template's byte), or in the zero padding after a window's
// twenty entries.
struct byte_change {
    unsigned address;
    std::uint8_t found, expected;
    bool padding;
};

// Hex letters in lower case, characters `first` to `last` of the record text
// of `frame`, where freqimg writes upper case: everywhere but the strips'
// characters in the windows.
struct lower_case_run {
    std::size_t frame, first, last;
};

struct decoded_stream {
    // Each frame's 40 characters as found, and the image bytes they spell;
    // meaningful only for frames without a fault.
    std::array<record_text, frame_count> texts{};
    std::array<std::uint8_t, image_size> image{};
    // One message per fault, in stream order, for example
    // "frame 27 (address 01B0): checksum is 4C, record sums to 12". A stream
    // of the wrong length gets one message, which says where a short one
    // ends ("stream is 2943 bytes, not 2944; it ends 45 bytes into frame 63
    // (address 03F0)"), and its whole frames are checked.
    std::vector<std::string> faults;
    // For a stream without faults, how it departs from what freqimg writes.
    std::vector<byte_change> changes;
    std::vector<lower_case_run> lower_case;
};

// Checks and decodes a stream; never fails on any bytes.
decoded_stream decode_stream(std::span<const unsigned char> bytes);

// Returns nullptr when freqimg makes this very stream, byte for byte, from
// the channel list its windows carry: no fault, no changed byte, no lower
// case outside the strips. Otherwise returns what stands in the way, for
// example "bytes differ from what freqimg writes".
const char *differs_from_freqimg(const decoded_stream &stream);

// Returns the 120 characters a window at `base` carries, as they stand in the
// record texts (lower-case digits included).
std::string window_strip_text(const decoded_stream &stream, std::uint16_t base);

// Entry `n` (0-19) of the window at `base`: its six characters, which may
// run across two records.
struct window_entry {
    std::array<char, 6> text{};
    std::string_view view() const { return {text.data(), text.size()}; }
};
window_entry window_entry_text(const decoded_stream &stream, std::uint16_t base, std::size_t n);

} // namespace freqimg
