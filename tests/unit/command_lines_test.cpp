// quenz-view's cutting of standard input into commands: the same commands
// as asking Tcl_CommandComplete after every line, in linear time.
#include <gtest/gtest.h>
#include <tcl.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "quenz-view/command_lines.h"

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

// Random lines of `pieces`, cut both ways.
void compare_random(const std::vector<std::string>& pieces, unsigned seed, int rounds,
                    int max_lines, int max_pieces) {
    std::mt19937 rng(seed);
    for (int round = 0; round < rounds; ++round) {
        std::vector<std::string> lines(1 + rng() % max_lines);
        for (std::string& l : lines) {
            int n = rng() % (max_pieces + 1);
            for (int k = 0; k < n; ++k) {
                const std::string& p = pieces[rng() % pieces.size()];
                l.append(p.empty() ? std::string(1, '\0') : p);
            }
            if (rng() % 4 == 0) l += '\\';  // a line continued
        }
        ASSERT_EQ(by_lines(lines), by_tcl(lines)) << "seed " << seed << " round " << round;
    }
}

TEST(CommandLines, CutsWhereTclCommandCompleteCuts) {
    // Lines made of the characters that matter to Tcl's parser, nested
    // braces, quotes, brackets, backslashes, comments, separators.
    const std::vector<std::string> pieces = {
        "{", "}", "{", "}", "\\", "\\{", "\\}", "\"", "[", "]", "#", ";", " ", "\t", "a", "set x",
        "puts", "$x", "\\\\", "{*}", "\\n", "\\x7b", "\0", "#{", "}x", "\"{\"", "{\"}", "\\\t",
    };
    compare_random(pieces, 20251208, 20000, 8, 6);
}

TEST(CommandLines, CutsWhereTclCommandCompleteCutsInBracketsQuotesAndVariables) {
    // Command substitutions (in words, quotes, indices, nested), quoted
    // words across lines, array indices and ${...} names (which hold any
    // byte), the {*} prefix before each kind of word, comments inside
    // brackets, names of namespaces and of non-ASCII letters (Tcl takes
    // the low byte of the character), bytes that are no UTF-8.
    const std::vector<std::string> pieces = {
        "[", "[", "]", "]", "\"", "\"", "{", "}", "(", ")", "$", "$a(", "$a", "${", "${a}", "$(",
        "$::b(", "$a::(", "$a:(", "$\xc5\x81(", "$\xc3\xa9(", "\xc3", "\xc5\x81", "{*}", "{*}{",
        "{*}\"", "{*}[", "{*}$", "#", ";", " ", "\t", "\r", "\v", "x", "set x", "list", "\\", "\\[",
        "\\]", "\\\"", "\\$", "\\\\", "\\x5d", "\\u005d", "\\135", "\\\xc3\xa9", "[list \"",
        "\"[", "]\"", "[#", "; #", "\"\"", "{}", "[]", "$a([", "${[}", "\"$a(\"", "\0",
    };
    compare_random(pieces, 7, 60000, 8, 6);
    // Longer commands: more lines, deeper nesting.
    compare_random(pieces, 8, 5000, 24, 8);
}

TEST(CommandLines, BracedBlocksAndPlainCommands) {
    std::vector<std::string> lines = {"set a 1", "proc p {} {", "  if {1} {", "    puts \\}",
                                      "  }", "}", "puts \"{\"", "a; b {", "}", "c \\", "d"};
    std::vector<std::string> want = {"set a 1\n", "proc p {} {\n  if {1} {\n    puts \\}\n  }\n}\n",
                                     "puts \"{\"\n", "a; b {\n}\n", "c \\\nd\n", ""};
    EXPECT_EQ(by_lines(lines), want);
    EXPECT_EQ(by_tcl(lines), want);
}

// Lines of a block of n lines opened by `first` and closed by `last`,
// then a command after it.
std::vector<std::string> block(const std::string& first, const std::string& line, int n,
                               const std::string& last) {
    std::vector<std::string> lines = {first};
    for (int i = 0; i < n; ++i) lines.push_back(line + std::to_string(i));
    lines.push_back(last);
    lines.push_back("puts done");
    return lines;
}

TEST(CommandLines, OpenBracketsAndQuotesTakeLinearTime) {
    // Asked after every line, each of these took seconds (a bracket over
    // 40000 lines 17 s, a quote 7 s); each byte is looked at a bounded
    // number of times now.
    const std::vector<std::vector<std::string>> inputs = {
        block("set a [concat \\", "word ", 40000, "]"),
        block("set a \"", "text ", 40000, "\""),
        // a long command in brackets made of braced words, a quote holding
        // a bracket, an array index, a comment in a bracket
        block("set a [list \\", "{1 2 3} {4 5} \\ ", 40000, "]"),
        block("set a \"[list \\", "\"x\" $b(1) \\ ", 40000, "]\""),
        block("puts $a($b", " [y] ", 40000, ")"),
        block("set a [", "# a comment ] {", 40000, "]"),
    };
    for (const auto& lines : inputs) {
        std::size_t bytes = 0;
        for (const std::string& l : lines) bytes += l.size() + 1;
        quenz::CommandLines in;
        std::vector<std::string> cut;
        std::string cmd;
        auto t0 = std::chrono::steady_clock::now();
        for (const std::string& l : lines)
            if (in.add(l, cmd)) cut.push_back(cmd);
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ASSERT_EQ(cut.size(), 2u) << lines[0];
        EXPECT_EQ(cut[1], "puts done\n");
        EXPECT_EQ(cut[0].size() + cut[1].size(), bytes);
        EXPECT_LE(in.work(), 3 * bytes) << lines[0];
        EXPECT_LT(s, 2.0) << lines[0];
    }
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
