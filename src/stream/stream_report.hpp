// What freqimg-inspect shows of a sound stream: the channel table in MHz and
// where the stream departs from what freqimg writes, or the stream turned
// back into a channel list.
#pragma once

#include "common/fault.hpp"
#include "image/image_decode.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace freqimg {

// Returns how the report shows a six-hex-digit window entry: "476.425"
// (MHz), "-" for the blank entry, "47642a (not a frequency)".
std::string shown_entry(std::string_view entry);

// Returns the readable report of a stream that decoded without faults.
std::string stream_report(const decoded_stream &stream);

// Returns one warning about `name`, the input, for each window entry that is
// no frequency the radio can hold, for example `channel 11 transmit entry
// "47ab2f" is not a frequency`.
std::vector<warning> entry_warnings(const decoded_stream &stream, const std::string &name);

// Returns the warning about `name` that the list freq_list_text gives makes
// another stream than this one ("NAME: warning: bytes differ from what
// freqimg writes; freqimg makes another stream from this list"); an empty
// warning when freqimg makes this very stream.
warning freq_list_warning(const decoded_stream &stream, const std::string &name);

// Returns a "freq.dat" from which freqimg makes the same windows again: a
// header row, then twenty rows of a placeholder label (the stream carries no
// labels), transmit entry and receive entry, with "-" for the blank entry.
std::string freq_list_text(const decoded_stream &stream);

} // namespace freqimg
