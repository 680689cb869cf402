// The all-or-nothing writer: what lies in the directory while a file is
// being written (all a killed process can leave), and writers racing for
// one name.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "imgclass/system/atomic_file.h"
#include "imgclass/system/fileio.h"
#include "testutil.h"

using testutil::error_of;
using testutil::scratch;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> names_in(const std::string& dir) {
    std::vector<std::string> r;
    for (auto& e : fs::directory_iterator(dir)) r.push_back(e.path().filename());
    std::sort(r.begin(), r.end());
    return r;
}

std::string content_of(const std::string& f) {
    auto b = quenz::read_file(f.c_str(), 1 << 24);
    return b ? std::string(b->begin(), b->end()) : "(unreadable)";
}

}  // namespace

TEST(AtomicFile, MidWriteTheDirectoryHoldsTheOldFileAndOneMarkedTemporary) {
    std::string dir = scratch("midwrite");
    fs::create_directories(dir);
    // A short name, one of 255 bytes, and one of 250 bytes of two-byte
    // characters (the cut must not split one).
    std::string e_acute = "\xc3\xa9";
    std::string two_byte;
    for (int i = 0; i < 125; ++i) two_byte += e_acute;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"exp0001.his", "exp0001\\.his"},
        {std::string(255, 'x'), "x{243}"},
        {two_byte, "(\xc3\xa9){121}"},
    };
    for (auto& [base, kept] : cases) {
        std::string target = dir + "/" + base;
        quenz::write_file(target.c_str(), "old", 3);
        {
            quenz::atomic_file f(target.c_str());
            f.write("new content", 11);
            // What a kill now would leave: the old file and the temporary.
            auto names = names_in(dir);
            ASSERT_EQ(names.size(), 2u) << base.size();
            std::string temp = names[0] == base ? names[1] : names[0];
            EXPECT_TRUE(std::regex_match(temp, std::regex(kept + "\\.tmp[0-9a-z]{8}"))) << temp;
            EXPECT_LE(temp.size(), 255u);
            EXPECT_EQ(f.temp_path(), dir + "/" + temp);
            EXPECT_EQ(content_of(target), "old");
        }
        // Given up (no commit): the temporary is gone, the old file stays.
        EXPECT_EQ(names_in(dir), std::vector<std::string>{base});
        EXPECT_EQ(content_of(target), "old");
        quenz::write_file_atomic(target.c_str(), "new", 3);
        EXPECT_EQ(content_of(target), "new");
        fs::remove(target);
    }
    // A name that leaves no room at all: refused as before.
    std::string too_long = dir + "/" + std::string(256, 'y');
    EXPECT_EQ(error_of([&] { quenz::write_file(too_long.c_str(), "a", 1); }), "Cannot write to " + too_long);
    EXPECT_TRUE(names_in(dir).empty());
    fs::remove_all(dir);
}

TEST(AtomicFile, WritersRacingForOneNameAllSucceedAndLeaveOneWholeFile) {
    std::string dir = scratch("race");
    fs::create_directories(dir);
    std::string target = dir + "/same.bin";
    const int writers = 4, rounds = 25;
    std::vector<std::string> contents;
    for (int w = 0; w < writers; ++w) contents.push_back(std::string(300000 + w * 1000, char('a' + w)));
    std::vector<int> failures(writers, 0);
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w)
        threads.emplace_back([&, w] {
            for (int r = 0; r < rounds; ++r)
                if (error_of([&] { quenz::write_file(target.c_str(), contents[w].data(), contents[w].size()); }) !=
                    testutil::nothing_thrown)
                    ++failures[w];
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures, std::vector<int>(writers, 0));
    std::string got = content_of(target);
    EXPECT_NE(std::find(contents.begin(), contents.end(), got), contents.end()) << got.size();
    EXPECT_EQ(names_in(dir), std::vector<std::string>{"same.bin"});
    fs::remove_all(dir);
}

// Another user's link or FIFO planted in a directory that anyone may write
// and only owners may rename in (/tmp) is neither followed nor written
// (nor waited on), whatever fs.protected_symlinks says; our own link there
// is followed.
TEST(AtomicFile, PlantedLinksAndFifosInSharedDirectoriesAreRefused) {
    const std::string dir = scratch("shared"), victim = scratch("victim");
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::all | fs::perms::sticky_bit);
    quenz::write_file_atomic(victim.c_str(), "mine", 4);
    const auto attempt = [](const std::string& f) {
        return error_of([&] { quenz::write_file_atomic(f.c_str(), "attack", 6); });
    };

    const std::string fifo = dir + "/unread.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);

    const std::string own = dir + "/own.link";
    fs::create_symlink(victim, own);
    EXPECT_EQ(attempt(own), "(nothing thrown)");
    EXPECT_EQ(content_of(victim), "attack");
    quenz::write_file_atomic(victim.c_str(), "mine", 4);

    if (geteuid() != 0) GTEST_SKIP() << "making another user's link needs root";
    const uid_t other = 54321;
    const std::string link = dir + "/result.raw", dangling = dir + "/snap.png", created = scratch("created");
    fs::remove(created);
    fs::create_symlink(victim, link);
    fs::create_symlink(created, dangling);
    ASSERT_EQ(lchown(link.c_str(), other, other), 0);
    ASSERT_EQ(lchown(dangling.c_str(), other, other), 0);
    ASSERT_EQ(lchown(fifo.c_str(), other, other), 0);
    EXPECT_EQ(attempt(link), "Cannot write to " + link);
    EXPECT_EQ(attempt(dangling), "Cannot write to " + dangling);
    EXPECT_EQ(attempt(fifo), "Cannot write to " + fifo);  // nobody reads it: refused, not waited on
    EXPECT_EQ(content_of(victim), "mine");
    EXPECT_FALSE(fs::exists(created));
    // The same links in a directory only its owner writes are the owner's choice.
    fs::permissions(dir, fs::perms::owner_all);
    EXPECT_EQ(attempt(link), "(nothing thrown)");
    EXPECT_EQ(content_of(victim), "attack");
    fs::remove_all(dir);
    fs::remove(victim);
    fs::remove(created);
}
