// Channel lists from spreadsheets: each way a spreadsheet writes CSV read
// to the same channels, faults named by row and column, and the CSV the
// page writes read back to the same fields.
#include "web/list_csv.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace freqimg {
namespace {

// Channels 1 to 3 as "label tx rx", and what is said of the file.
std::string channels(const csv_list &list) {
    std::string out;
    for (std::size_t row = 1; row <= 3; ++row)
        for (std::size_t column = 0; column < document_columns; ++column)
            out += list.fields[row * document_columns + column] + (column < 2 ? " " : "\n");
    for (const field_message &m : list.messages)
        out += (m.error ? "E " : "W ") + m.where + ": " + m.text + "\n";
    return out;
}

TEST(read_csv_list, reads_what_spreadsheets_write) {
    struct row {
        std::string csv, read;
    } const rows[] = {
        {"Channel,Label,Transmit MHz,Receive MHz\r\n1,Home,476.425,476.425\r\n2,Farm East,476.45,"
         "-\r\n",
         "Home 476425 476425\nFarm_East 476450 -\nCH03 - -\n"},
        // Semicolons and decimal commas, no header and no numbers.
        {"Home;476,425;476,45\nShed;;-\n", "Home 476425 476450\nShed - -\nCH03 - -\n"},
        // Tabs, quotes round a separator and a quote, whole MHz.
        {"\"Rep, \"\"1\"\"\"\t479\t\"476.5\"\n", "Rep,_\"1\" 479000 476500\nCH02 - -\nCH03 - -\n"},
        // A semicolon in quotes is no separator; blanks round a cell go.
        {"\"a;b\", 476.425 ,-\n", "a;b 476425 -\nCH02 - -\nCH03 - -\n"},
        // Columns a header names, in any order; a byte-order mark.
        {"\xEF\xBB\xBFRX,TX,Name\n476.425,477.175,Home\n",
         "Home 477175 476425\nCH02 - -\nCH03 - -\n"},
        // Channel numbers place the rows; Windows-1252 labels.
        {"3,Caf\xE9,476425,476425\r1,A,-,-\r", "A - -\nCH02 - -\nCaf\xC3\xA9 476425 476425\n"},
        // What is no frequency stays as written, for the list's check.
        {"Home,476.4x,47642a\n", "Home 476.4x 47642a\nCH02 - -\nCH03 - -\n"},
        {"1,A,-,-\n25,B,-,-\n1,C,-,-\n",
         "A - -\nCH02 - -\nCH03 - -\nE f.csv, row 2, column A: channel number \"25\" is not one of "
         "1 to 20\nE f.csv, row 3, column A: channel 1 is given again (first in row 1)\n"},
        {"\n\n", "CH01 - -\nCH02 - -\nCH03 - -\nE f.csv: no channels in it\n"},
    };
    for (const row &r : rows)
        EXPECT_EQ(channels(read_csv_list(r.csv, "f.csv")), r.read) << r.csv;

    std::string many = "Label,TX,RX\n";
    for (int n = 1; n <= 21; ++n)
        many += formatted("C%d,476425,-\n", n);
    csv_list list = read_csv_list(many, "many.csv");
    EXPECT_EQ(list.fields[20 * document_columns], "C20");
    ASSERT_EQ(list.messages.size(), 1U);
    EXPECT_EQ(list.messages[0].where, "many.csv, row 22");
    EXPECT_EQ(list.where[2 * document_columns + tx_column], "many.csv, row 3, column B");
}

TEST(csv_text, writes_mhz_and_reads_back_to_the_same_fields) {
    std::array<std::string, document_fields> fields{"Channel", "Transmit", "Receive"};
    for (std::size_t row = 1; row <= channel_count; ++row) {
        fields[row * document_columns] = formatted("L%zu", row);
        fields[row * document_columns + tx_column] = row % 3 == 0 ? "-" : "476425";
        fields[row * document_columns + rx_column] = row % 4 == 0 ? "47642a" : "C76425";
    }
    fields[3] = "Caf\xC3\xA9,\"x\"";
    const std::string csv = csv_text(fields);
    EXPECT_TRUE(csv.starts_with("\xEF\xBB\xBF"
                                "Channel,Label,Transmit MHz,Receive MHz\r\n"
                                "1,\"Caf\xC3\xA9,\"\"x\"\"\",476.425,-\r\n"
                                "2,L2,476.425,-\r\n3,L3,-,-\r\n4,L4,476.425,47642a\r\n"))
        << csv;
    csv_list back = read_csv_list(csv, "back.csv");
    for (std::size_t row = 1; row <= channel_count; ++row)
        if (fields[row * document_columns + rx_column] == "C76425")
            fields[row * document_columns + rx_column].assign(1, '-');
    EXPECT_EQ(back.fields, fields);
    EXPECT_TRUE(back.messages.empty());
}

} // namespace
} // namespace freqimg
