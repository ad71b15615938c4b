#include "image/image_frame.hpp"

#include <algorithm>

namespace freqimg {

void write_frame(image_stream &stream, std::string_view text) {
    unsigned char *out = stream.bytes.data() + stream.size;
    out = std::copy(frame_header.begin(), frame_header.end(), out);
    out = std::copy(text.begin(), text.end(), out);
    *out++ = frame_end;
    stream.size = static_cast<std::size_t>(out - stream.bytes.data());
}

void write_frame(image_stream &stream, const record_text &text) {
    write_frame(stream, std::string_view(text.data(), text.size()));
}

} // namespace freqimg
