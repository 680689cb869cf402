// quenz-view's cutting of standard input into commands: the same commands
// as asking Tcl_CommandComplete after every line, in linear time.
#include <gtest/gtest.h>
#include <tcl.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "display/command_lines.h"

namespace {

// What quenz-view did before: the whole pending text checked after each line.
std::vector<std::string> by_tcl(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    std::string cmd;
    for (const std::string& l : lines) {
        cmd += l;
        cmd += '\n';
        if (Tcl_CommandComplete(cmd.c_str())) {
            out.push_back(cmd);
            cmd.clear();
        }
    }
    out.push_back(cmd);  // what is left pending
    return out;
}

std::vector<std::string> by_lines(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    quenz::CommandLines in;
    std::string cmd;
    for (const std::string& l : lines)
        if (in.add(l, cmd)) out.push_back(cmd);
    out.push_back(in.pending());
    return out;
}

}  // namespace

TEST(CommandLines, CutsWhereTclCommandCompleteCuts) {
    // Lines made of the characters that matter to Tcl's parser, nested
    // braces, quotes, brackets, backslashes, comments, separators.
    const std::vector<std::string> pieces = {
        "{", "}", "{", "}", "\\", "\\{", "\\}", "\"", "[", "]", "#", ";", " ", "\t", "a", "set x",
        "puts", "$x", "\\\\", "{*}", "\\n", "\\x7b", "\0", "#{", "}x", "\"{\"", "{\"}", "\\\t",
    };
    std::mt19937 rng(20251208);
    for (int round = 0; round < 20000; ++round) {
        std::vector<std::string> lines(1 + rng() % 8);
        for (std::string& l : lines) {
            int n = rng() % 7;
            for (int k = 0; k < n; ++k) {
                const std::string& p = pieces[rng() % pieces.size()];
                l.append(p.empty() ? std::string(1, '\0') : p);
            }
            if (rng() % 4 == 0) l += '\\';  // a line continued
        }
        ASSERT_EQ(by_lines(lines), by_tcl(lines)) << "round " << round;
    }
}

TEST(CommandLines, BracedBlocksAndPlainCommands) {
    std::vector<std::string> lines = {"set a 1", "proc p {} {", "  if {1} {", "    puts \\}",
                                      "  }", "}", "puts \"{\"", "a; b {", "}", "c \\", "d"};
    std::vector<std::string> want = {"set a 1\n", "proc p {} {\n  if {1} {\n    puts \\}\n  }\n}\n",
                                     "puts \"{\"\n", "a; b {\n}\n", "c \\\nd\n", ""};
    EXPECT_EQ(by_lines(lines), want);
    EXPECT_EQ(by_tcl(lines), want);
}

TEST(CommandLines, ALargeBracedBlockTakesLinearTime) {
    // 1.6 MB in braces, 100000 lines: asked after every line, Tcl parses
    // some 80 GB; the counter looks at each byte once.
    std::vector<std::string> lines = {"set data {"};
    for (int i = 0; i < 100000; ++i) {
        // (appended, not "{" + ...: GCC 12 warns wrongly about that at -O3)
        std::string line = "{";
        line += std::to_string(i);
        line += " 0.5 x} y";
        lines.push_back(line);
    }
    lines.push_back("}");
    lines.push_back("puts [llength $data]");
    auto t0 = std::chrono::steady_clock::now();
    std::vector<std::string> cut = by_lines(lines);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ASSERT_EQ(cut.size(), 3u);
    EXPECT_GT(cut[0].size(), 1500000u);
    EXPECT_EQ(cut[1], "puts [llength $data]\n");
    EXPECT_LT(s, 2.0);
}
