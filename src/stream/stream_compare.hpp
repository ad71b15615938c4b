// Whether two streams program the same image, said in channel words: what
// the page's "Check the radio" and freqimg-inspect --compare say of a
// stream a radio sent against the stream meant for it.
#pragma once

#include "image/image_decode.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace freqimg {

struct comparison {
    bool same = false; // the same 1024 image bytes
    // "the radio holds what the table says: 14 channels in use, 6 blank";
    // or, in image order, one line for each channel entry that differs,
    // "channel 3 transmit: the radio has 476.525 MHz, the table 476.550
    // MHz", and for each other record that differs, "record 0050: the
    // radio has 1010EC..., the table 1010EC..." (its 16 data bytes).
    std::vector<std::string> lines;
};

// Compares the images of `expected` and `found`, two streams that decoded
// without a fault, named in the lines `expected_name` and `found_name`.
// Entries compare by the bytes they spell: "47642a" and "47642A" are one.
comparison compare_streams(const decoded_stream &expected, const decoded_stream &found,
                           std::string_view expected_name, std::string_view found_name);

} // namespace freqimg
