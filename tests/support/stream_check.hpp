// An independent check of a composed stream, shared by the property test and
// the fuzz target: what must hold of every stream freqimg writes, whatever
// composes it.
#pragma once

#include "image/image_frame.hpp"

#include <string>
#include <string_view>

namespace freqimg_test {

// Returns an empty text when `stream` is 64 sound frames (fixed header and
// end byte, 40 hex characters, ascending addresses, count 10, bytes summing
// to zero, fixed records as in the template) whose windows carry exactly
// `tx` and `rx` followed by zero padding; otherwise what is wrong.
std::string check_stream(const freqimg::image_stream &stream, std::string_view tx,
                         std::string_view rx);

// Splits a list the plain way and gives the strips its first 63 tokens make;
// false when it has fewer.
bool expected_strips(std::string_view list, std::string &tx, std::string &rx);

} // namespace freqimg_test
