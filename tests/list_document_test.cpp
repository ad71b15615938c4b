#include "web/list_document.hpp"

#include "channels/freq_list.hpp"
#include "web/page_json.hpp"
#include "web/text_encoding.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#ifndef _WIN32
#include <iconv.h>
#endif
#include <iterator>
#include <string>

namespace freqimg {
namespace {

std::string example_list() {
    std::ifstream in(FREQIMG_SOURCE_DIR "/examples/freq.dat", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string said(const list_check &check) {
    std::string out;
    for (const field_message &m : check.messages)
        out += std::to_string(m.field) + (m.error ? " E " : " W ") +
               (m.where.empty() ? "" : m.where + ": ") + m.text + "\n";
    return out;
}

constexpr std::size_t tx(std::size_t channel) {
    return channel * document_columns + tx_column;
}

TEST(list_document, saves_an_opened_list_as_it_was_with_what_follows_it) {
    list_document doc;
    const std::string example = example_list();
    doc.open(example, "freq.dat");
    EXPECT_EQ(doc.text(), example);
    // Columns as wide as their widest field; the file's line ends; the text
    // after the list as it was.
    doc.open("a b c\r\n" + example.substr(example.find('\n') + 1) + "Extra 1 2\r\n", "freq.dat");
    EXPECT_TRUE(doc.text().starts_with("a            b       c\r\nHome         476425  476425\r\n"))
        << doc.text();
    EXPECT_TRUE(doc.text().ends_with("Scan-Extra   -       477350\nExtra 1 2\r\n")) << doc.text();
    EXPECT_EQ(said(doc.check()), "63 W freq.dat, line 22: the list goes on after channel 20; "
                                 "the rest is not read\n");
    // A file without a last line end, or with blanks after the list, ends
    // with one.
    for (const char *after : {"", " \t\n\n"}) {
        doc.open(example.substr(0, example.size() - 1) + after, "freq.dat");
        EXPECT_EQ(doc.text(), example) << '"' << after << '"';
    }
}

TEST(list_document, a_new_list_is_twenty_blank_channels) {
    list_document doc;
    list_check check = doc.check();
    EXPECT_TRUE(check.sound && check.savable) << said(check);
    EXPECT_TRUE(doc.text().starts_with("Channel  Transmit  Receive\nCH01     -         -\n"))
        << doc.text();
    EXPECT_TRUE(doc.text().ends_with("\nCH20     -         -\n")) << doc.text();
}

TEST(list_document, finds_text_after_the_list_past_what_freqimg_reads_first) {
    list_document doc;
    doc.open(example_list() + std::string(freq_list_limit, '\n') + "more\n", "my.dat");
    EXPECT_EQ(said(doc.check()), "63 W my.dat, line 65558: the list goes on after channel 20; the "
                                 "rest is not read\n");
    // Past 16 MiB of blanks freqimg reads no more, and says so.
    doc.open(example_list() + std::string(rest_look_limit + freq_list_limit, ' ') + "Extra-21",
             "my.dat");
    EXPECT_EQ(said(doc.check()), "63 W my.dat: more than 16 MiB of blanks follow channel 20; the "
                                 "rest could not be read\n");
    EXPECT_TRUE(doc.text().ends_with(std::string(rest_look_limit, ' ') + "Extra-21"));
    // The page reads as far as freqimg does, and no less: the one byte past
    // the blanks it looks through is what tells that the file goes on.
    const std::string blanks = example_list() + std::string(document_read_limit, ' ');
    doc.open(blanks, "my.dat");
    const std::string whole = said(doc.check());
    EXPECT_NE(whole.find("more than 16 MiB"), std::string::npos);
    doc.open(std::string_view(blanks).substr(0, document_read_limit), "my.dat");
    EXPECT_EQ(said(doc.check()), whole);
    doc.open(std::string_view(blanks).substr(0, document_read_limit - 1), "my.dat");
    EXPECT_EQ(said(doc.check()), "");
}

TEST(list_document, reads_an_entry_field_for_the_table) {
    struct row {
        const char *field, *reading;
    } const rows[] = {{"476425", "476.425 MHz"},
                      {"-", "blank"},
                      {"-x", "blank"},
                      {"c76425", "blank"},
                      {"47642a", "not a frequency"},
                      {"476.425", ""},
                      {"47642", ""},
                      {"4764250", ""},
                      {"47642G", ""}};
    for (const row &r : rows)
        EXPECT_EQ(field_reading(r.field), r.reading) << r.field;
}

TEST(list_document, says_each_faulty_field_as_freqimg_says_the_first) {
    list_document doc;
    doc.open(example_list(), "freq.dat");
    doc.set_field(tx(3), "47642");
    doc.set_field(tx(9) + 1, "476.425");
    doc.set_field(tx(12), "47642a");
    doc.set_field(tx(20) + 1, "47735A");
    doc.set_field(tx(14), "");
    doc.set_field(2, "Rec eive");
    doc.set_field(0, "");
    list_check check = doc.check();
    EXPECT_EQ(
        said(check),
        "0 E freq.dat, line 1: header row field 1 is empty\n"
        "2 E freq.dat, line 1: header row field 3 holds a space; a field is one word\n"
        "10 E freq.dat, line 4: channel 3 transmit field \"47642\" is not six hex digits\n"
        "29 E freq.dat, line 10: channel 9 receive field \"476.425\" is not six hex digits; "
        "write 476.425 MHz as 476425\n"
        "37 W freq.dat, line 13: channel 12 transmit field \"47642a\" is not a frequency; it "
        "is sent as written\n"
        "43 E freq.dat, line 15: channel 14 transmit field is empty; write its entry, or - for "
        "a blank channel\n"
        "62 W freq.dat, line 21: channel 20 receive field \"47735A\" is not a frequency; it "
        "is sent as written\n");
    EXPECT_FALSE(check.sound);
    EXPECT_FALSE(check.savable);
}

TEST(list_document, makes_the_stream_freqimg_makes_once_the_list_is_sound) {
    list_document doc;
    doc.open(example_list(), "freq.dat");
    ASSERT_TRUE(doc.settle_field(tx(3)) == false);
    doc.set_field(tx(3), "477.175MHz");
    EXPECT_FALSE(doc.check().sound);
    EXPECT_TRUE(doc.settle_field(tx(3)));
    EXPECT_EQ(doc.field(tx(3)), "477175");
    EXPECT_FALSE(doc.settle_field(3)); // a label is never an entry
    list_check check = doc.check();
    ASSERT_TRUE(check.sound && check.savable) << said(check);
    const freq_table table = parse_freq_list(doc.text()).table;
    strip tx_strip = make_strip(table, tx_column), rx_strip = make_strip(table, rx_column);
    EXPECT_EQ(check.stream.bytes,
              compose_stream({tx_strip.data(), tx_strip.size()}, {rx_strip.data(), rx_strip.size()})
                  .bytes);
}

TEST(list_document, says_what_freqimg_says_of_a_whole_file_until_an_edit) {
    list_document doc;
    doc.open("Channel Transmit Receive\nHome 476425\n", "short.dat");
    list_check check = doc.check();
    ASSERT_FALSE(check.messages.empty());
    EXPECT_EQ(check.messages.back().field, document_fields);
    EXPECT_EQ(check.messages.back().where, "short.dat, line 2");
    EXPECT_EQ(check.messages.back().text, "list ends before the receive field of channel 1");
    doc.set_field(tx(1) + 1, "476425");
    check = doc.check();
    EXPECT_EQ(said(check).find("list ends"), std::string::npos) << said(check);
    // A fault of the whole file that the list as the page saves it has too
    // is said once.
    std::string wide = "\xFF\xFE";
    for (char c : std::string_view("Channel Transmit Receive"))
        wide.append(1, c).append(1, '\0');
    doc.open(wide, "wide.dat");
    check = doc.check();
    EXPECT_EQ(std::count_if(check.messages.begin(), check.messages.end(),
                            [](const field_message &m) {
                                return m.where == "wide.dat" &&
                                       m.text == "is UTF-16 text; save it as plain text (UTF-8 or "
                                                 "ANSI)";
                            }),
              1)
        << said(check);
}

TEST(list_document, keeps_the_encoding_and_line_ends_of_the_file_opened) {
    // A label a Windows editor saved in its code page, and lines ended by
    // a CR alone: shown in UTF-8, saved as they came, edited or not.
    std::string list = example_list();
    list.replace(list.find("Home"), 4, "Caf\xE9");
    std::replace(list.begin(), list.end(), '\n', '\r');
    list_document doc;
    doc.open(list, "cafe.dat");
    EXPECT_EQ(doc.encoding(), text_encoding::windows_1252);
    EXPECT_EQ(doc.field(3), "Caf\xC3\xA9");
    EXPECT_EQ(doc.text(), list);
    doc.set_field(3, "Caf\xC3\xA9"
                     "2");
    EXPECT_TRUE(doc.text().starts_with("Channel      Transmit  Receive\rCaf\xE9"
                                       "2        476425    476425\r"))
        << doc.text();
    doc.set_field(6, "\xC5\x81odz"); // no Windows-1252 character
    list_check check = doc.check();
    EXPECT_FALSE(check.savable);
    EXPECT_EQ(said(check), "6 E cafe.dat, line 3: channel 2 label holds a character that its "
                           "file's encoding, Windows-1252, has not\n");
    // UTF-8 stays UTF-8; a list of no file names no line.
    doc.take("Channel Transmit Receive\n" + std::string("K\xC3\xBC") + "che 47642 -\n");
    EXPECT_EQ(doc.encoding(), text_encoding::utf8);
    EXPECT_EQ(doc.field(3), "K\xC3\xBC"
                            "che");
    EXPECT_EQ(doc.check().messages.front().where, "");
}

TEST(list_document, writes_a_field_that_spells_an_entry_as_the_entry) {
    struct row {
        std::string typed, settled; // empty: left as typed
    } const rows[] = {
        {"476.425", "476425"},   {" 476425 ", "476425"}, {"476.425 MHz", "476425"},
        {"476425kHz", "476425"}, {" - ", "-"},           {"47642", ""},
        {"476 425", "476425"},   {"hello", ""},
    };
    list_document doc;
    for (const row &r : rows) {
        doc.set_field(tx(1), r.typed);
        EXPECT_EQ(doc.settle_field(tx(1)), !r.settled.empty()) << r.typed;
        EXPECT_EQ(doc.field(tx(1)), r.settled.empty() ? r.typed : r.settled);
    }
}

TEST(list_document, takes_cells_pasted_from_a_spreadsheet_to_the_right_and_down) {
    list_document doc;
    doc.paste(tx(2) - 1, "Home Base\t476.425\t476.45\r\nShed\t\t477\r\n");
    doc.paste(tx(20), "476425\t-\tpast the table\nnor this row\n");
    std::string fields;
    for (std::size_t i :
         {tx(2) - 1, tx(2), tx(2) + 1, tx(3) - 1, tx(3), tx(3) + 1, tx(20), tx(20) + 1})
        fields += doc.field(i) + " ";
    EXPECT_EQ(fields, "Home_Base 476425 476450 Shed - 477000 476425 - ");
}

#ifndef _WIN32 // the C library's iconv
TEST(text_encoding, reads_windows_1252_as_the_c_library_does) {
    // The C library leaves five bytes out of the code page; the rest it reads
    // as the page does.
    iconv_t convert = ::iconv_open("UTF-8", "WINDOWS-1252");
    ASSERT_NE(convert, reinterpret_cast<iconv_t>(-1));
    for (int b = 0x80; b < 0x100; ++b) {
        char in = static_cast<char>(b), out[8]{};
        char *from = &in, *to = out;
        std::size_t left = 1, room = sizeof out;
        if (::iconv(convert, &from, &left, &to, &room) == static_cast<std::size_t>(-1))
            continue;
        EXPECT_EQ(utf8_from_windows_1252({&in, 1}), std::string(out, to)) << b;
    }
    ::iconv_close(convert);
}
#endif

TEST(text_encoding, reads_windows_1252_into_utf8_and_back_byte_for_byte) {
    std::string every;
    for (int b = 0; b < 256; ++b)
        every += static_cast<char>(b);
    const std::string utf8 = utf8_from_windows_1252(every);
    EXPECT_EQ(encoding_of(utf8), text_encoding::utf8);
    EXPECT_EQ(encoding_of(every), text_encoding::windows_1252);
    std::string back;
    EXPECT_TRUE(windows_1252_from_utf8(utf8, back));
    EXPECT_EQ(back, every);
    EXPECT_EQ(utf8_from_windows_1252("\x80\x9F\xE9"), "\xE2\x82\xAC\xC5\xB8\xC3\xA9");
    for (const char *not_there : {"\xC5\x81", "\xC2\x80", "\xE9"}) {
        EXPECT_FALSE(windows_1252_from_utf8(std::string("a") + not_there, back)) << not_there;
        EXPECT_EQ(back, "a?");
    }
}

TEST(page_json, builds_arrays_and_objects_in_order) {
    json_array array;
    EXPECT_EQ(json_array().done(), "[]");
    array.add("1");
    array.add_text("x");
    EXPECT_EQ(array.done(), R"([1,"x"])");
    json_object object;
    object.add("a", "true");
    object.add_text("b", "y");
    EXPECT_EQ(object.done(), R"({"a":true,"b":"y"})");
}

TEST(page_json, escapes_quotes_controls_and_bytes_of_no_character) {
    EXPECT_EQ(json_string("a\"b\\c\n\x01\x7F"), R"("a\"b\\c\u000a\u0001\u007f")");
    EXPECT_EQ(json_string("K\xC3\xBC"
                          "che \xE7\xAB\x99"),
              "\"K\xC3\xBC"
              "che \xE7\xAB\x99\"");
    EXPECT_EQ(json_string("\xFC\xC3\xE0\x80\x80\xED\xA0\x80"),
              R"("\ufffd\ufffd\ufffd\ufffd\ufffd\ufffd\ufffd\ufffd")");
    // The first three-byte character and an overlong one; a character cut
    // short by the end of the text.
    EXPECT_EQ(json_string("\xE0\xA0\x80|\xF0\x8F\xBF\xBF|\xE7\xAB"),
              "\"\xE0\xA0\x80|"
              R"(\ufffd\ufffd\ufffd\ufffd|\ufffd\ufffd")");
    // The last code point, U+10FFFF, and the first past it; four bytes.
    EXPECT_EQ(json_string("\xF4\x8F\xBF\xBF|\xF4\x90\x80\x80|\xF0\x9F\x93\xBB"),
              "\"\xF4\x8F\xBF\xBF|"
              R"(\ufffd\ufffd\ufffd\ufffd)"
              "|\xF0\x9F\x93\xBB\"");
}

} // namespace
} // namespace freqimg
