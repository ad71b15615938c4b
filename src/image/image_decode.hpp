// Reading an upload stream back: every frame is checked against the frame,
// record text and checksum rules, and the record texts and image bytes are
// recovered, so a stream can be shown or turned back into a channel list.
#pragma once

#include "image_frame.hpp"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace freqimg {

struct decoded_stream {
    // Each frame's 40 characters as found, and the image bytes they spell;
    // meaningful only for frames without a fault.
    std::array<record_text, frame_count> texts{};
    std::array<std::uint8_t, image_size> image{};
    // One message per fault, in stream order, for example
    // "frame 27 (address 01B0): checksum is 4C, record sums to 12". A stream
    // of the wrong length gets a message of its own and its frames are
    // checked as far as they go.
    std::vector<std::string> faults;
};

// Checks and decodes a stream; never fails on any bytes.
decoded_stream decode_stream(std::span<const unsigned char> bytes);

// Returns the 120 characters a window at `base` carries, as they stand in the
// record texts (lower-case digits included).
std::string window_strip_text(const decoded_stream &stream, std::uint16_t base);

} // namespace freqimg
