// The memory image: its 56 fixed records and the two windows that carry the
// user's transmit and receive columns.
//
// The fixed records are held as finished record texts, checksums included,
// and go out exactly as stored. The compiler proves the table below: a
// mistyped row does not build.
#pragma once

#include "image/image_frame.hpp"

#include <array>
#include <cstdint>
#include <string_view>

namespace freqimg {

inline constexpr std::uint16_t tx_window_base = 0x01A0;
inline constexpr std::uint16_t rx_window_base = 0x02C0;
inline constexpr std::size_t window_records = 4;
inline constexpr std::size_t channel_count = 20;
inline constexpr std::size_t window_entry_size = 6; // three packed-BCD bytes
inline constexpr std::size_t window_strip_size = channel_count * window_entry_size;

// One column of the channels, as a window carries it: twenty six-character
// entries in channel order, with no separator.
using strip = std::array<char, window_strip_size>;

constexpr bool is_window_address(unsigned address) {
    return (address >= tx_window_base && address < tx_window_base + window_records * 16) ||
           (address >= rx_window_base && address < rx_window_base + window_records * 16);
}

// clang-format off
inline constexpr std::array<std::string_view, 56> image_template{
    // 0x0000: general settings
    "000010978B7E726560514C47454558635C5C5CDC",
    "0010105B5E5F5800000000000000000000000070",
    "00201000000000000000000000000000000000D0",
    "003010000000003030303030501010101010D858",
    "0040101010101010FE1010101010E410101010EE",
    "00501010EC0000000000460000000000917F4509",
    "00601020680100846350802D2D323C0D32643AAB",
    "0070108C0519003E3F00002D2D323C0000000091",
    "0080101EFC0000323C3228323C320000000000EE",
    "0090100000000000000000000000000000000060",
    // 0x00A0: first list of forty frequency entries
    "00A010477175477200477225477250477275470E",
    "00B0107300477325477350476625476650476668",
    "00C010754767004767254767504767754768006A",
    "00D010476825476850476875476900476925475D",
    "00E01069504769754770004770254770504770E1",
    "00F0107547710047712547715047717547720008",
    "01001047722547725047727547730047732547FA",
    "0110107350477375477400000000000000000032",
    // 0x0120: second list of forty frequency entries
    "0120104764254764504764754765004765254720",
    "01301065504765754766004766254766504766C0",
    "01401075476700476725476750476775476800E9",
    "01501047682547685047687547690047692547DC",
    "0160106950476975477000477025477050477060",
    "0170107547710047712547715047717547720087",
    "018010477225477250477275477300477325477A",
    "01901073504773754774000000000000000000B2",
    // 0x01E0: after the transmit window: sixty words 80 00
    "01E010800080008000800080008000800080000F",
    "01F01080008000800080008000800080008000FF",
    "02001080008000800080008000800080008000EE",
    "02101080008000800080008000800080008000DE",
    "02201080008000800080008000800080008000CE",
    "02301080008000800080008000800080008000BE",
    "02401080008000800080008000800080008000AE",
    "025010800080008000800000000000000000009E",
    // 0x0260: device settings
    "026010202020202020202020202020202020208E",
    "02701000FFFFFF00010000000000000000000080",
    "0280100E03F040000000001A480D240005000095",
    "029010000000000000000000000000000000005E",
    "02A010FFFFFFFFFFFFFFF1FFFFFFFFFFFFFFF279",
    "02B010FFFFFFFFFFFFFFF3000000000000000052",
    // 0x0300: after the receive window: zero, then eight ASCII bytes
    "03001000000000000000000000000000000000ED",
    "03101000000000000000000000000000000000DD",
    "03201000000000000000000000000000000000CD",
    "03301000000000000000000000000000000000BD",
    "03401000000000000000000000000000000000AD",
    "035010000000000000000000000000000000009D",
    "036010000000000000000000000000000000008D",
    "037010000000000000000000000000000000007D",
    "038010000000000000000000000000000000006D",
    "039010000000000000000000000000000000005D",
    "03A010000000000000000000000000000000004D",
    "03B010000000000000000000000000000000003D",
    "03C010000000000000000000000000000000002D",
    "03D010000000000000000000000000000000001D",
    "03E010000000000000000000000000000000000D",
    "03F010000000000000000049434F4D20496E639B",
};
// clang-format on

// Returns the address a record text spells in its first four characters.
constexpr std::uint16_t record_address(std::string_view text) {
    unsigned address = 0;
    for (std::size_t i = 0; i < 4; ++i)
        address = address * 16 + static_cast<unsigned>(hex_value(text[i]));
    return static_cast<std::uint16_t>(address);
}

namespace detail {

constexpr bool is_upper_hex(std::string_view text) {
    for (char c : text)
        if (upper_hex_digits.find(c) == std::string_view::npos)
            return false;
    return true;
}

// Every row is a 40-character upper-case record text with count 10 and a
// checksum that makes its bytes sum to zero, and the rows hold every record
// address outside the two windows, in ascending order.
constexpr bool template_is_sound() {
    unsigned address = 0;
    for (std::string_view row : image_template) {
        while (is_window_address(address))
            address += 16;
        if (row.size() != record_text_size || !is_upper_hex(row) ||
            record_address(row) != address || row.substr(4, 2) != "10")
            return false;
        std::string_view data = row.substr(record_data_offset, 2 * record_data_size);
        if (record_checksum(static_cast<std::uint16_t>(address), record_count, data) !=
            hex_byte(row[record_checksum_offset], row[record_checksum_offset + 1]))
            return false;
        address += 16;
    }
    return address == image_size;
}

} // namespace detail

static_assert(image_template.size() + 2 * window_records == frame_count);
static_assert(detail::template_is_sound(), "image template row is mistyped");

// Returns the template's record text for `address`, or an empty view for a
// window record or an address that starts no record.
std::string_view template_record(unsigned address);

// Appends the frames of every template record whose address lies from `first`
// to `last` inclusive, in ascending address order.
void emit_fixed_records(image_stream &stream, std::uint16_t first, std::uint16_t last);

// Returns record `index` (0-3) of the window at `base`: its 32 data characters
// are the characters of `entries`, a strip, copied as they stand (the fourth
// record: the last 24, then eight "0"), with an upper-case address, count and
// checksum. `entries` must be 120 hex digits; lower-case digits pass through
// unchanged.
record_text window_record(std::uint16_t base, std::string_view entries, std::size_t index);

// Appends the four frames of the window at `base` (tx_window_base or
// rx_window_base), fed from `entries`, a 120-character strip.
void emit_window(image_stream &stream, std::uint16_t base, std::string_view entries);

// Returns the whole stream freqimg writes for two 120-character strips: the
// 64 frames in ascending address order, fixed records 0000-0190, the
// transmit window, fixed records 01E0-02B0, the receive window, fixed
// records 0300-03F0.
image_stream compose_stream(std::string_view tx_strip, std::string_view rx_strip);

} // namespace freqimg
