#include "stream/transfer_progress.hpp"

#include "common/fault.hpp"
#include "image/image_frame.hpp"
#include "serial/line_transfer.hpp"

#include <algorithm>
#include <cstring>

namespace freqimg {
transfer_progress::transfer_progress(std::FILE *out, bool shown, direction way, unsigned long baud)
    : out_(out), shown_(shown), way_(way), baud_(baud) {}

void transfer_progress::update(std::size_t done) {
    auto now = clock::now();
    if (!shown_ || (done < stream_size && now - last_ < std::chrono::milliseconds(100)))
        return;
    last_ = now;
    show(text(done));
}

std::string transfer_progress::text(std::size_t done) const {
    std::string out =
        formatted("%s: %zu of %zu bytes, %zu of %zu frames, %zu%%",
                  way_ == direction::sending ? "sending" : "receiving", done, stream_size,
                  done / frame_size, frame_count, done * 100 / stream_size);
    if (baud_ != 0)
        out += formatted(
            ", %.1f s left",
            static_cast<double>((stream_size - std::min(done, stream_size)) * bits_per_byte) /
                static_cast<double>(baud_));
    return out;
}

void transfer_progress::note(const char *text) {
    if (shown_)
        show(text);
}

void transfer_progress::finish(std::size_t done) {
    if (!shown_)
        return;
    show(last_text(done));
    end_line();
}

std::string transfer_progress::last_text(std::size_t done) const {
    double seconds = std::chrono::duration<double>(clock::now() - start_).count();
    std::string out = formatted("%s %zu bytes, %zu frames, in %.1f s",
                                way_ == direction::sending ? "sent" : "received", done,
                                done / frame_size, seconds);
    if (baud_ > 0)
        out += formatted(" at %lu baud", baud_);
    return out;
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
