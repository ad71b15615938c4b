// The strip files on disk, where a strip read back is not the one written.
#include "channels/channel_files.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace freqimg {
namespace {

namespace fs = std::filesystem;

TEST(read_strip, names_the_length_of_a_strip_that_changed) {
    // Past the 128 bytes read back, the file's own length.
    const fs::path path = fs::temp_directory_path() / "freqimg-strip-test.dat";
    freq_table table{};
    for (std::size_t channel = 1; channel <= channel_count; ++channel)
        table[channel][tx_column] = {'-'};
    for (std::size_t size : {0U, 119U, 121U, 128U, 200U, 5000U}) {
        std::ofstream(path, std::ios::binary) << std::string(size, 'A');
        strip out{};
        EXPECT_EQ(read_strip(path.string().c_str(), table, tx_column, out).text,
                  path.string() + ": changed since it was written (" + std::to_string(size) +
                      " bytes, not 120 hex digits)");
    }
    std::ofstream(path, std::ios::binary) << std::string(120, 'A');
    strip out{};
    EXPECT_EQ(read_strip(path.string().c_str(), table, tx_column, out).text,
              path.string() + ": changed since it was written");
    fs::remove(path);
}

TEST(strip_files, refuse_a_device_or_a_missing_file_where_a_strip_should_be) {
    // What the run checks before it writes may change before it writes, or
    // before it reads back.
    freq_table table{};
    for (std::size_t channel = 1; channel <= channel_count; ++channel)
        table[channel][rx_column] = {'-'};
    strip out{};
    const fs::path missing = fs::temp_directory_path() / "freqimg-no-such-strip.dat";
    EXPECT_EQ(read_strip(missing.string().c_str(), table, rx_column, out).text,
              missing.string() + ": cannot open: No such file or directory");
#ifndef _WIN32
    EXPECT_EQ(write_strip("/dev/null", table, rx_column).text, "/dev/null: not a regular file");
#endif
}

} // namespace
} // namespace freqimg
