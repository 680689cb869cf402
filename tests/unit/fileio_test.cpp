// Whole-file reads and writes shared by the image readers and writers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "testutil.h"
#include "imgclass/system/error.h"
#include "imgclass/system/fileio.h"

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
    auto all = quenz::read_file(f.c_str(), data.size() + 1);
    ASSERT_TRUE(all);
    EXPECT_EQ(std::string(all->begin(), all->end()), data);
    auto head = quenz::read_file(f.c_str(), 70001);
    ASSERT_TRUE(head);
    EXPECT_EQ(std::string(head->begin(), head->end()), data.substr(0, 70001));
    std::remove(f.c_str());
    EXPECT_FALSE(quenz::read_file(f.c_str(), 10));
    // A directory opens but cannot be read: no file, not an empty one.
    EXPECT_FALSE(quenz::read_file(std::filesystem::temp_directory_path().c_str(), 10));
}

TEST(FileIo, BlocksAreWrittenOneAfterTheOtherAndAFullDeviceIsReported) {
    // More blocks than one system call takes, empty ones among them.
    std::string data(300000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = char(i * 13 + i / 977);
    std::vector<std::span<const unsigned char>> blocks;
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    for (std::size_t at = 0, k = 0; at < data.size(); ++k) {
        const std::size_t n = std::min(data.size() - at, k % 5 == 0 ? std::size_t(0) : k % 50 == 7 ? std::size_t(5000) : k % 97 + 1);
        blocks.emplace_back(p + at, n);
        at += n;
    }
    ASSERT_GT(blocks.size(), 1000u);
    std::string f = scratch("blocks.bin");
    ASSERT_EQ(error_of([&] { quenz::write_file(f.c_str(), blocks); }), testutil::nothing_thrown);
    auto all = quenz::read_file(f.c_str(), data.size() + 1);
    ASSERT_TRUE(all);
    EXPECT_EQ(std::string(all->begin(), all->end()), data);
    std::remove(f.c_str());
    EXPECT_EQ(error_of([&] { quenz::write_file("/dev/full", blocks); }), "Cannot write to /dev/full");
}

TEST(FileIo, ReadsIntoBlocksFillThemInOrderAndCountWhatArrived) {
    std::string f = scratch("into.bin");
    std::string data(70000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = char(i * 13 + i / 251);
    quenz::write_file(f.c_str(), data.data(), data.size());
    auto as_text = [](const std::vector<unsigned char>& v) { return std::string(v.begin(), v.end()); };
    std::vector<unsigned char> a(100, 0xee), b(69000, 0xee), c(5000, 0xee);
    auto n = quenz::read_file_into(f.c_str(), {a, b, c});
    ASSERT_TRUE(n);
    EXPECT_EQ(*n, 70000u);
    EXPECT_EQ(as_text(a), data.substr(0, 100));
    EXPECT_EQ(as_text(b), data.substr(100, 69000));
    // The file ends inside the last block: the rest of it is untouched.
    EXPECT_EQ(as_text(c).substr(0, 900), data.substr(69100));
    EXPECT_EQ(std::count(c.begin() + 900, c.end(), 0xee), 4100);
    // A longer file is read only as far as the blocks go.
    std::vector<unsigned char> d(10);
    EXPECT_EQ(quenz::read_file_into(f.c_str(), {d}), 10u);
    EXPECT_EQ(as_text(d), data.substr(0, 10));
    std::remove(f.c_str());
    EXPECT_FALSE(quenz::read_file_into(f.c_str(), {d}));
    EXPECT_FALSE(quenz::read_file_into(std::filesystem::temp_directory_path().c_str(), {d}));
    // A pipe that delivers in small pieces still fills every block.
    int fd[2];
    ASSERT_EQ(pipe(fd), 0);
    std::thread writer([&] {
        for (std::size_t i = 0; i < 4000; i += 7) {
            std::size_t k = std::min<std::size_t>(7, 4000 - i);
            if (write(fd[1], data.data() + i, k) != ssize_t(k)) break;
        }
        close(fd[1]);
    });
    std::vector<unsigned char> p1(3), p2(3997);
    auto m = quenz::read_file_into(("/dev/fd/" + std::to_string(fd[0])).c_str(), {p1, p2});
    writer.join();
    close(fd[0]);
    EXPECT_EQ(m, 4000u);
    EXPECT_EQ(as_text(p1) + as_text(p2), data.substr(0, 4000));
}

TEST(FileIo, DeviceWithoutEndIsReadOnlyUpToTheLimit) {
    auto z = quenz::read_file("/dev/zero", 524388);
    ASSERT_TRUE(z);
    EXPECT_EQ(z->size(), 524388u);
    EXPECT_EQ(std::count(z->begin(), z->end(), 0), 524388);
}

TEST(FileIo, StepwiseReadsStopWhereAskedAndCostOnlyWhatArrives) {
    std::string f = scratch("steps.bin");
    std::string data = "0123456789abcdef";
    quenz::write_file(f.c_str(), data.data(), data.size());
    quenz::FileReader in(f.c_str());
    ASSERT_TRUE(in);
    std::vector<unsigned char> buf;
    ASSERT_TRUE(in.read_to(buf, 4));
    EXPECT_EQ(std::string(buf.begin(), buf.end()), "0123");
    ASSERT_TRUE(in.read_to(buf, 2));  // already there: nothing read
    EXPECT_EQ(buf.size(), 4u);
    // A header announcing a gigabyte over a 16-byte file: the buffer holds
    // the file, not the announcement.
    ASSERT_TRUE(in.read_to(buf, std::size_t(1) << 30));
    EXPECT_EQ(std::string(buf.begin(), buf.end()), data);
    EXPECT_LT(buf.capacity(), 4096u);
    std::remove(f.c_str());
    EXPECT_FALSE(quenz::FileReader(f.c_str()));
    // A device without end: exactly what was asked for, in two steps.
    quenz::FileReader z("/dev/zero");
    std::vector<unsigned char> zb;
    ASSERT_TRUE(z.read_to(zb, 8));
    ASSERT_TRUE(z.read_to(zb, 300000));
    EXPECT_EQ(zb.size(), 300000u);
    EXPECT_EQ(std::count(zb.begin(), zb.end(), 0), 300000);
}

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <functional>

#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/curves/eichtabelle.h"
#include "imgclass/formats/fits.h"
#include "imgclass/formats/fits_header.h"
#include "imgclass/formats/his.h"
#include "imgclass/formats/identify.h"
#include "imgclass/formats/npy.h"
#include "imgclass/formats/png_file.h"
#include "imgclass/fit/qrfit.h"
#include "imgclass/formats/tiff.h"
#include "imgclass/analysis/voronoi.h"

namespace {

// Every reader of a file name, as the library offers them.
std::vector<std::pair<std::string, std::function<void(const char*)>>> every_reader() {
    static bild16 b;
    static bildfloat f;
    static std::vector<double> table(quenz::eichtabelle_entries);
    return {
        {"read_his", [](const char* n) { b.read_his(n); }},
        {"read_pgm", [](const char* n) { b.read_pgm(n); }},
        {"read_gnuplot", [](const char* n) { f.read_gnuplot(n); }},
        {"read_png", [](const char* n) { quenz::read_png(n, b); }},
        {"read_tiff", [](const char* n) { quenz::read_tiff(n, b, 0); }},
        {"tiff_pages", [](const char* n) { quenz::tiff_pages(n); }},
        {"read_fits", [](const char* n) { quenz::read_fits(n, f, 1); }},
        {"fits_hdus", [](const char* n) { quenz::fits::list_hdus(n); }},
        {"read_npy", [](const char* n) { quenz::read_npy(n, b); }},
        {"QRfit read", [](const char* n) { QRfit q(n); }},
        {"eichtabelle", [](const char* n) {
             quenz::read_eichtabelle(n, std::span<double, quenz::eichtabelle_entries>(table.data(), table.size()));
         }},
        {"voronoi", [](const char* n) { read_voronoi_file(n); }},
        {"identify", [](const char* n) { quenz::identify_file(n); }},
    };
}

// Sets this thread's read policy for as long as it lives.
struct Policy {
    quenz::ReadPolicy was = quenz::read_policy();
    Policy(bool regular_only, bool follow_links) { quenz::read_policy() = {regular_only, follow_links}; }
    ~Policy() { quenz::read_policy() = was; }
};

}  // namespace

TEST(FileIo, UnderTheViewersPolicyEveryReaderRefusesWhatIsNotARegularFileWithoutWaiting) {
    namespace fs = std::filesystem;
    const std::string fifo = scratch("policy.fifo"), dir = scratch("policy.dir"), sock = scratch("policy.sock");
    fs::remove(fifo);
    fs::remove_all(dir);
    fs::remove(sock);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);  // no writer: an open that waits would never return
    fs::create_directory(dir);
    int s = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", sock.c_str());
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    Policy p(true, true);
    for (auto& [what, read] : every_reader()) {
        for (const std::string& n : {fifo, dir, std::string("/dev/zero"), std::string("/dev/null")})
            EXPECT_EQ(error_of([&] { read(n.c_str()); }), n + ": not a regular file") << what << " " << n;
        // (a socket cannot be opened at all: each reader's own words)
        EXPECT_NE(error_of([&] { read(sock.c_str()); }), testutil::nothing_thrown) << what;
    }
    close(s);
    fs::remove(fifo);
    fs::remove_all(dir);
    fs::remove(sock);
}

TEST(FileIo, WithoutFollowingLinksEveryReaderRefusesALinkInTheLastPlaceOnly) {
    namespace fs = std::filesystem;
    const std::string target = scratch("policy-target.his"), link = scratch("policy-link.his");
    const std::string linkdir = scratch("policy-linkdir");
    std::vector<unsigned char> his(quenz::his_file_size, 1);
    quenz::write_file(target.c_str(), his.data(), his.size());
    fs::remove(link);
    fs::remove(linkdir);
    fs::create_symlink(target, link);
    fs::create_directory_symlink(fs::path(target).parent_path(), linkdir);
    const std::string through = linkdir + "/" + fs::path(target).filename().string();
    {
        Policy p(true, false);
        for (auto& [what, read] : every_reader())
            EXPECT_EQ(error_of([&] { read(link.c_str()); }), link + ": a symbolic link (not followed)") << what;
        // a link earlier in the path is the directory's business
        EXPECT_EQ(quenz::identify_file(through.c_str()).kind, quenz::FileKind::his);
    }
    {
        Policy p(true, true);
        EXPECT_EQ(quenz::identify_file(link.c_str()).kind, quenz::FileKind::his);
    }
    fs::remove(link);
    fs::remove(linkdir);
    fs::remove(target);
}

TEST(FileIo, ThePolicyIsTheThreadsOwnAndByDefaultAFifoWaitsForItsWriter) {
    namespace fs = std::filesystem;
    const std::string fifo = scratch("default.fifo");
    fs::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Policy p(true, false);
    std::optional<std::vector<unsigned char>> got;
    // Another thread keeps the default: its open waits for the writer
    // that comes later, and reads what it writes.
    std::thread reader([&] { got = quenz::read_file(fifo.c_str(), 100); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    {
        std::FILE* w = std::fopen(fifo.c_str(), "wb");
        ASSERT_NE(w, nullptr);
        std::fputs("late writer", w);
        std::fclose(w);
    }
    reader.join();
    ASSERT_TRUE(got);
    EXPECT_EQ(std::string(got->begin(), got->end()), "late writer");
    EXPECT_TRUE(quenz::read_policy().regular_only);
    fs::remove(fifo);
}
