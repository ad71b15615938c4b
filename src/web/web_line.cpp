#include "web/web_line.hpp"

#include <array>
#include <emscripten.h>

namespace {

// Each returns a count, or -1 when the line failed (Module.line.failure
// says why); a read returns -2 when the port has closed. JavaScript, which
// clang-format would space as C++ ("= = =").
// clang-format off
EM_JS(int, line_write, (const unsigned char *bytes, std::size_t n),
      { return Module.line.write(HEAPU8.slice(bytes, bytes + n)); });
EM_ASYNC_JS(void, line_wait_writable, (unsigned ms), { await Module.line.waitWritable(ms); });
EM_JS(int, line_queued, (), { return Module.line.queued(); });
EM_ASYNC_JS(int, line_wait_drained, (unsigned ms), { return await Module.line.waitDrained(ms); });
EM_ASYNC_JS(void, line_hold, (double ms), { await Module.line.hold(ms); });
EM_JS(void, line_discard, (), { Module.line.discard(); });
EM_ASYNC_JS(int, line_read, (unsigned char *buffer, std::size_t n, int ms), {
    const got = await Module.line.read(n, ms);
    if (typeof got === "number")
        return got;
    HEAPU8.set(got, buffer);
    return got.length;
});
EM_JS(void, line_failure, (char *text, std::size_t n),
      { stringToUTF8(String(Module.line.failure), text, n); });
// clang-format on

freqimg::line_io outcome(int got) {
    if (got == -2)
        return freqimg::line_io::hang_up();
    if (got < 0) {
        std::array<char, 256> why{};
        line_failure(why.data(), why.size());
        return freqimg::line_io::failed({why.data()});
    }
    return freqimg::line_io::of(static_cast<std::size_t>(got));
}

} // namespace

namespace freqimg {

line_io web_line::write_some(std::span<const unsigned char> bytes) {
    return outcome(line_write(bytes.data(), bytes.size()));
}

void web_line::wait_writable(unsigned ms) {
    line_wait_writable(ms);
}

line_io web_line::queued() {
    return outcome(line_queued());
}

line_io web_line::wait_drained(unsigned ms) {
    return outcome(line_wait_drained(ms));
}

void web_line::hold(std::chrono::microseconds time) {
    line_hold(static_cast<double>(time.count()) / 1000.0);
}

void web_line::discard_output() {
    line_discard();
}

line_io web_line::read_some(std::span<unsigned char> buffer, int ms) {
    return outcome(line_read(buffer.data(), buffer.size(), ms));
}

} // namespace freqimg
