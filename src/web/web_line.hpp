// A serial port the page holds through the browser's Web Serial API, as the
// line that sending and capturing run on: the same send and capture as the
// commands', over the page's JavaScript (Module.line), whose calls that wait
// suspend the WebAssembly until they end.
//
// The browser shows nothing of the port below it: neither the system's
// queue nor the adapter's FIFO. The page's line hands bytes on no faster
// than the line's speed takes them, and counts a write as queued until the
// browser has passed it on; what the system and the adapter may still hold
// is covered by the largest FIFO's guard, always.
#pragma once

#include "serial/line_port.hpp"

namespace freqimg {

class web_line final : public line_port {
  public:
    line_io write_some(std::span<const unsigned char> bytes) override;
    void wait_writable(unsigned ms) override;
    line_io queued() override;
    line_io wait_drained(unsigned ms) override;
    transmit_fifo adapter_fifo() override { return {largest_unseen_fifo, false}; }
    void hold(std::chrono::microseconds time) override;
    void discard_output() override;
    line_io read_some(std::span<unsigned char> buffer, int ms) override;
};

} // namespace freqimg
