#include "stream/transfer_progress.hpp"

#include "common/fault.hpp"
#include "image/image_frame.hpp"
#include "serial/line_transfer.hpp"

#include <algorithm>
#include <cstring>

namespace freqimg {

std::string transfer_text::progress(std::size_t done) const {
    std::string out =
        formatted("%s: %zu of %zu bytes, %zu of %zu frames, %zu%%",
                  way == direction::sending ? "sending" : "receiving", done, stream_size,
                  done / frame_size, frame_count, done * 100 / stream_size);
    if (baud != 0)
        out += formatted(
            ", %.1f s left",
            static_cast<double>((stream_size - std::min(done, stream_size)) * bits_per_byte) /
                static_cast<double>(baud));
    return out;
}

std::string transfer_text::last(std::size_t done, double seconds) const {
    std::string out = formatted("%s %zu bytes, %zu frames, in %.1f s",
                                way == direction::sending ? "sent" : "received", done,
                                done / frame_size, seconds);
    if (baud > 0)
        out += formatted(" at %lu baud", baud);
    return out;
}

transfer_progress::transfer_progress(std::FILE *out, bool shown, direction way, unsigned long baud)
    : out_(out), shown_(shown), words_{way, baud} {}

void transfer_progress::update(std::size_t done) {
    auto now = clock::now();
    if (!shown_ || (done < stream_size && now - last_ < std::chrono::milliseconds(100)))
        return;
    last_ = now;
    show(words_.progress(done));
}

void transfer_progress::note(const char *text) {
    if (shown_)
        show(text);
}

void transfer_progress::finish(std::size_t done) {
    if (!shown_)
        return;
    show(words_.last(done, std::chrono::duration<double>(clock::now() - start_).count()));
    end_line();
}

void transfer_progress::end_line() {
    if (width_ > 0)
        std::fputc('\n', out_);
    width_ = 0;
}

void transfer_progress::show(const std::string &text) {
    // Blanks cover what a longer line before left.
    std::fprintf(out_, "\r%s%s", text.c_str(),
                 std::string(width_ - std::min(width_, text.size()), ' ').c_str());
    width_ = std::max(width_, text.size());
    std::fflush(out_);
}

} // namespace freqimg
