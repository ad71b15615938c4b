// The POSIX file layer on its own: what the commands rest on, in the cases
// the commands' own runs cannot reach (a write the output takes in parts, a
// file written over in its middle).
#include "platform/file_ops.hpp"
#include "support/temp_dir.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace freqimg {
namespace {

namespace fs = std::filesystem;

using freqimg_test::read_file;
using freqimg_test::temp_dir;
using freqimg_test::write_file;

TEST(file_ops, moves_every_byte_through_an_output_that_takes_them_in_parts) {
    // A socket that takes a few KiB at a time and asks to try again.
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    // A buffer far smaller than the bytes, so that no write takes them all.
    int small = 4096;
    ::setsockopt(ends[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    std::string sent(256 << 10, '\0');
    for (std::size_t i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<char>(i * 7 % 251);
    std::string got(sent.size() + 1, '\0');
    std::size_t n = 0;
    int error = -1;
    std::thread reader([&] {
        error = read_up_to(ends[1], got.data(), got.size(), n);
        ::close(ends[1]);
    });
    EXPECT_EQ(write_all(ends[0], sent.data(), sent.size()), 0);
    ::close(ends[0]);
    reader.join();
    ASSERT_EQ(error, 0);
    ASSERT_EQ(n, sent.size());
    got.resize(sent.size());
    EXPECT_TRUE(got == sent);
}

TEST(file_ops, puts_a_file_back_as_it_was_before_a_write) {
    // Where a write begins in a file, what it goes over and how far it runs
    // on; the write is then taken back.
    struct row {
        std::string before;
        long offset; // -1: opened to append
        std::size_t write;
    } const rows[] = {
        {"", 0, 50},                                 // a new file
        {std::string(200, 'a'), 50, 100},            // inside the file
        {std::string(200, 'b'), 150, 100},           // over its end
        {std::string(30, 'c'), -1, 2944},            // appended
        {std::string(4000, 'd'), 0, 2944},           // at its start
        {std::string(10, 'e'), 3, 1},                // one byte
        {std::string(5000, 'f'), 0, snapshot_limit}, // the most it takes back
    };
    temp_dir f;
    for (const row &r : rows) {
        std::string path = f.at("out.bin");
        write_file(path, r.before);
        int fd = ::open(path.c_str(), r.offset < 0 ? O_WRONLY | O_APPEND : O_RDWR);
        if (r.offset >= 0)
            ::lseek(fd, r.offset, SEEK_SET);
        file_snapshot snapshot;
        ASSERT_TRUE(snapshot.remember(fd, r.write)) << r.offset;
        std::string over(r.write, 'W');
        ASSERT_EQ(write_all(fd, over.data(), over.size()), 0);
        ::close(fd);
        snapshot.put_back();
        off_t offset_after = ::lseek(snapshot.descriptor(), 0, SEEK_CUR);
        EXPECT_EQ(read_file(path), r.before) << r.offset;
        EXPECT_EQ(offset_after, r.offset < 0 ? static_cast<off_t>(r.before.size()) : r.offset);
    }
    // Anything but a regular file is not remembered.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    file_snapshot none;
    EXPECT_FALSE(none.remember(ends[1], 10));
    ::close(ends[0]);
    ::close(ends[1]);
}

TEST(file_ops, tells_two_names_of_one_file_from_two_files) {
    temp_dir f;
    write_file(f.at("a"), "a");
    write_file(f.at("b"), "a");
    fs::create_hard_link(f.at("a"), f.at("hard"));
    fs::create_symlink(f.at("a"), f.at("soft"));
    struct row {
        const char *x, *y;
        bool same;
    } const rows[] = {
        {"a", "hard", true}, {"soft", "a", true}, {"a", "b", false}, {"a", "missing", false}};
    for (const row &r : rows)
        EXPECT_EQ(same_file(f.at(r.x).c_str(), f.at(r.y).c_str()), r.same) << r.x << " " << r.y;
}

TEST(file_ops, writes_over_a_file_without_emptying_it_first) {
    temp_dir f;
    std::string path = f.at("strip");
    write_file(path, std::string(300, 'o'));
    unique_fd fd;
    ASSERT_EQ(create_for_writing(path.c_str(), fd), 0);
    ASSERT_GT(fd.get(), 2);
    std::uint64_t size = 0;
    EXPECT_TRUE(is_regular_file(fd.get(), &size));
    EXPECT_EQ(size, 300U); // not truncated on opening
    EXPECT_EQ(write_all(fd.get(), "new", 3), 0);
    EXPECT_EQ(cut_to_size(fd.get(), 3), 0);
    EXPECT_EQ(fd.close(), 0);
    EXPECT_EQ(read_file(path), "new");
    unique_fd again;
    EXPECT_EQ(create_new(path.c_str(), again), EEXIST);
    EXPECT_FALSE(again);
    // A descriptor has one owner: what it was moved from closes nothing.
    ASSERT_EQ(open_for_reading(path.c_str(), again), 0);
    const int held = again.get();
    unique_fd owner(std::move(again));
    EXPECT_EQ(owner.get(), held);
    EXPECT_FALSE(again); // NOLINT(bugprone-use-after-move): the moved-from state is the point
    EXPECT_EQ(rename_new(path.c_str(), f.at("strip").c_str()), EEXIST);
}

} // namespace
} // namespace freqimg
