// What freqimg-inspect shows of a sound stream: the channel table in MHz and
// the fixed records that differ from the built-in template, or the stream
// turned back into a channel list.
#pragma once

#include "image_decode.hpp"

#include <string>

namespace freqimg {

// Returns the readable report of a stream that decoded without faults.
std::string stream_report(const decoded_stream &stream);

// Returns a "freq.dat" from which freqimg makes the same windows again: a
// header row, then twenty rows of label, transmit entry and receive entry,
// with "-" for the blank entry.
std::string freq_list_text(const decoded_stream &stream);

// Returns true when every fixed record and the windows' zero padding are as
// freqimg writes them, so freq_list_text gives back the very same stream.
bool freqimg_can_remake(const decoded_stream &stream);

} // namespace freqimg
