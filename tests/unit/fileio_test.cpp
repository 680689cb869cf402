// Whole-file reads and writes shared by the image readers and writers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "testutil.h"
#include "error.h"
#include "fileio.h"

using testutil::error_of;
using testutil::scratch;

namespace {

}  // namespace

TEST(FileIo, WriterReportsFilesThatCannotBeCreatedOrFilled) {
    std::string data(100000, 'x');
    EXPECT_EQ(error_of([&] { quenz::write_file("/dev/full", data.data(), data.size()); }),
              "Cannot write to /dev/full");
    // Small enough to sit in the stream's buffer until the close.
    EXPECT_EQ(error_of([&] { quenz::write_file("/dev/full", "ab", 2); }),
              "Cannot write to /dev/full");
    std::string missing = scratch("no-dir/x");
    EXPECT_EQ(error_of([&] { quenz::write_file(missing.c_str(), "ab", 2); }),
              "Cannot write to " + missing);
}

TEST(FileIo, WrittenBytesReadBackAndTheLimitCutsTheRead) {
    std::string f = scratch("rt.bin");
    std::string data(200000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = char(i * 7 + i / 4096);
    ASSERT_EQ(error_of([&] { quenz::write_file(f.c_str(), data.data(), data.size()); }),
              testutil::nothing_thrown);
    auto all = quenz::read_file(f.c_str());
    ASSERT_TRUE(all);
    EXPECT_EQ(std::string(all->begin(), all->end()), data);
    auto head = quenz::read_file(f.c_str(), 70001);
    ASSERT_TRUE(head);
    EXPECT_EQ(std::string(head->begin(), head->end()), data.substr(0, 70001));
    std::remove(f.c_str());
    EXPECT_FALSE(quenz::read_file(f.c_str()));
    // A directory opens but cannot be read: no file, not an empty one.
    EXPECT_FALSE(quenz::read_file(std::filesystem::temp_directory_path().c_str()));
}

TEST(FileIo, DeviceWithoutEndIsReadOnlyUpToTheLimit) {
    auto z = quenz::read_file("/dev/zero", 524388);
    ASSERT_TRUE(z);
    EXPECT_EQ(z->size(), 524388u);
    EXPECT_EQ(std::count(z->begin(), z->end(), 0), 524388);
}
