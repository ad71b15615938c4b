#include "common/fault.hpp"

#include <gtest/gtest.h>

#include <string>

namespace freqimg {
namespace {

TEST(formatted, gives_texts_of_any_length_whole) {
    // Either side of the first attempt's 256 bytes.
    for (std::size_t size : {0U, 1U, 255U, 256U, 257U, 1000U}) {
        std::string text(size, 'x');
        if (size > 0)
            text.back() = 'y';
        EXPECT_EQ(formatted("%s", text.c_str()), text) << size;
    }
    // A one-letter fault is a fault too.
    EXPECT_TRUE(make_fault("%c", 'x'));
    EXPECT_FALSE(fault{});
}

TEST(quoted_name, shows_names_as_gnu_ls_does_and_nothing_a_terminal_acts_on) {
    // The right-hand sides are what `ls --quoting-style=shell-escape` shows
    // of each name in a UTF-8 locale.
    struct row {
        std::string name, shown;
    } const rows[] = {
        {"/dev/serial/by-id/usb-FTDI_FT232R-if00-port0",
         "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"},
        {"a%+,-.:@]_{}#~z", "a%+,-.:@]_{}#~z"},
        {"\xC3\xA9t\xC3\xA9-\xE9\xA2\x91\xF0\x9F\x93\xBB",
         "\xC3\xA9t\xC3\xA9-\xE9\xA2\x91\xF0\x9F\x93\xBB"},
        {"\xE0\xB9\x84\xE0\xB8\x97\xE0\xB8\xA2", "\xE0\xB9\x84\xE0\xB8\x97\xE0\xB8\xA2"}, // Thai
        {"\xF4\x80\x80\x80", "\xF4\x80\x80\x80"}, // U+100000, of the last plane
        {"a b", "'a b'"},
        {"#a", "'#a'"},
        {"~a", "'~a'"},
        {"a=b", "'a=b'"},
        {"", "''"},
        {"it's", "\"it's\""},
        {"a'$b", "'a'\\''$b'"},
        {"a\nb", "'a'$'\\n''b'"},
        {"\x1B]0;x\a", "''$'\\033'']0;x'$'\\a'"},
        {"a\x7F", "'a'$'\\177'"},
        {"\r\x0E", "''$'\\r\\016'"},
        {"it's\n", "'it'\\''s'$'\\n'"}, // a quote, but no double quotes round a control
        {"a\xFF"
         "b",
         "'a'$'\\377''b'"},
        {"\xC2\x9B", "''$'\\302\\233'"},                   // a C1 control character
        {"\xC0\xAF", "''$'\\300\\257'"},                   // an overlong '/'
        {"\xED\xA0\x80", "''$'\\355\\240\\200'"},          // a surrogate
        {"\xF4\x90\x80\x80", "''$'\\364\\220\\200\\200'"}, // past U+10FFFF
        {"\xE9\xA2", "''$'\\351\\242'"},                   // cut short
    };
    for (const row &r : rows)
        EXPECT_EQ(quoted_name(r.name), r.shown) << r.shown;
    EXPECT_EQ(quoted_value("12345"), "'12345'");
    EXPECT_EQ(quoted_value("'"), "\"'\"");
    // A device's own name: blanks and all as it is, but quoted from its
    // first character on where any would act on a terminal.
    EXPECT_EQ(quoted_text("FT232R USB UART"), "FT232R USB UART");
    EXPECT_EQ(quoted_text("\x1B[2JUART"), "''$'\\033''[2JUART'");
}

} // namespace
} // namespace freqimg
