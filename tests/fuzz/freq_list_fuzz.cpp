// Fuzz target for every reader of untrusted bytes: the channel list reader,
// the strip file reader and the stream decoder of freqimg-inspect. Each input
// is given to all three, and what each accepts must hold up.
#include "channels/freq_list.hpp"
#include "image/image_decode.hpp"
#include "image/image_template.hpp"
#include "support/stream_check.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using namespace freqimg;

[[noreturn]] void fail(const char *what, const std::string &detail) {
    std::fprintf(stderr, "invariant broken: %s: %s\n", what, detail.c_str());
    std::abort();
}

void check_list(std::string_view text) {
    parsed_list list = parse_freq_list(text, text.size());
    const fault &whole = list.failure;
    const freq_table &table = list.table;
    // The same bytes as the start of a longer file, its last byte past the limit.
    parsed_list cut_list = text.empty() ? list : parse_freq_list(text, text.size() - 1);
    const fault &cut = cut_list.failure;
    const freq_table &partial = cut_list.table;
    std::string tx, rx;
    bool enough = freqimg_test::expected_strips(text, tx, rx);
    if (whole) {
        // A fault names the file and a line the text has (a line feed, a
        // carriage return and a line feed, or a carriage return ends one),
        // or says the text is UTF-16.
        unsigned line = 0;
        std::size_t line_ends = 0;
        for (std::size_t i = 0; i < text.size(); ++i)
            line_ends += text[i] == '\n' ||
                                 (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
                             ? 1
                             : 0;
        if (std::strncmp(whole.c_str(), "freq.dat: is UTF-16 text", 24) == 0) {
            if (text.find('\0') == std::string_view::npos)
                fail("text without a zero byte taken for UTF-16", whole.c_str());
        } else if (std::sscanf(whole.c_str(), "freq.dat:%u: ", &line) != 1 || line < 1 ||
                   line > 1 + line_ends) {
            fail("fault without its line", whole.c_str());
        }
        if (!cut)
            fail("list read from part of the file but not from all of it", whole.c_str());
        if (enough && std::strstr(whole.c_str(), "list ends") != nullptr)
            fail("63 tokens reported as too few", whole.c_str());
        return;
    }
    if (!enough)
        fail("list accepted with fewer than 63 tokens", std::string(text));
    if (!cut && (make_strip(partial, tx_column) != make_strip(table, tx_column) ||
                 make_strip(partial, rx_column) != make_strip(table, rx_column)))
        fail("part of the file read differently from all of it", std::string(text));

    strip strips[2] = {make_strip(table, tx_column), make_strip(table, rx_column)};
    strip back[2]{};
    for (int i = 0; i < 2; ++i)
        if (fault f = parse_strip("temptx.dat", {strips[i].data(), strips[i].size()}, back[i]);
            f || back[i] != strips[i])
            fail("strip does not read back", f.c_str());
    std::string_view got_tx(back[0].data(), back[0].size()), got_rx(back[1].data(), back[1].size());
    if (got_tx != tx || got_rx != rx)
        fail("strips are not the list's columns", std::string(got_tx) + " " + std::string(got_rx));
    image_stream stream = compose_stream(got_tx, got_rx);
    if (std::string what = freqimg_test::check_stream(stream, tx, rx); !what.empty())
        fail("unsound stream", what);
    decoded_stream decoded = decode_stream({stream.bytes.data(), stream.size});
    if (!decoded.faults.empty() || window_strip_text(decoded, tx_window_base) != tx ||
        window_strip_text(decoded, rx_window_base) != rx)
        fail("stream does not decode to its columns", tx + " " + rx);
}

void check_strip(std::string_view bytes) {
    strip out{};
    bool hex =
        bytes.size() == window_strip_size && std::all_of(bytes.begin(), bytes.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) != 0;
        });
    fault f = parse_strip("temptx.dat", bytes, out);
    if (hex == static_cast<bool>(f))
        fail("strip reader disagrees on", std::string(bytes));
    if (!f && std::string_view(out.data(), out.size()) != bytes)
        fail("strip changed in reading", std::string(bytes));
}

void check_decoder(const std::uint8_t *data, std::size_t size) {
    decoded_stream decoded = decode_stream({data, size});
    if (!decoded.faults.empty())
        return;
    if (size != stream_size)
        fail("stream of the wrong length accepted", std::to_string(size));
    image_stream again;
    for (const record_text &text : decoded.texts)
        write_frame(again, text);
    if (!std::equal(data, data + size, again.bytes.begin()))
        fail("accepted stream does not frame back to itself", "");
    // freqimg remakes the stream exactly when composing it from its own
    // windows gives the same bytes.
    image_stream remade = compose_stream(window_strip_text(decoded, tx_window_base),
                                         window_strip_text(decoded, rx_window_base));
    bool same = std::equal(data, data + size, remade.bytes.begin());
    if (same != (differs_from_freqimg(decoded) == nullptr))
        fail("wrong verdict on whether freqimg writes this stream", same ? "same" : "differs");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char *>(data), size);
    check_list(text);
    check_strip(text);
    check_decoder(data, size);
    return 0;
}
