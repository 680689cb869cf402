// Lines of Tcl text cut into complete commands: a command is the shortest
// run of lines that Tcl_CommandComplete accepts, exactly as when it is
// asked after every line, but in time linear in the text. Asking after
// every line re-parses all pending lines each time, so a block of n lines
// inside braces, brackets or quotes (a procedure body, a list of data, a
// long message) costs n parses of a growing text. Here a scanner follows
// Tcl's parser rules over the new line only, keeping what is open at the
// end of the text (braced and quoted words, command substitutions, array
// indices, ${...} names) on a stack; each byte is looked at once.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quenz {

class CommandLines {
public:
    // Adds one line (without its line end). True when the lines so far make
    // a complete command, which is then moved to `command` (with a line end
    // after each line) and no longer pending.
    bool add(std::string_view line, std::string& command);
    // The lines of an incomplete command so far.
    const std::string& pending() const { return text_; }
    // Bytes the scanner has looked at since it was made: linear means at
    // most the bytes added.
    std::size_t work() const { return work_; }

private:
    // What is open: the script (the bottom of the stack), a command
    // substitution's script, a bare word, a quoted word, a braced word, an
    // array index, a ${...} name.
    enum class Kind : unsigned char { script, bracket, word, quote, braces, index, var_braces };
    // Where a script is: before a command (white space, comments), in a
    // comment, between words, just after a word, just after a braced word
    // (which may be the {*} prefix).
    enum class At : unsigned char { command, comment, gap, after_word, after_braces };
    struct Frame {
        Kind kind;
        At at = At::command;
        std::size_t start = 0;  // script: where its last braced word began
        long level = 0;         // braces: the nesting depth; word: 1 in a bracket
    };

    // Follows the text from byte i to its end; false at a syntax error
    // (Tcl stops there: what came before is a complete command).
    bool scan(std::size_t i);
    std::size_t begin_word(std::size_t i, bool expanded);
    std::size_t substitution(std::size_t i);
    std::size_t dollar(std::size_t i);
    void reset();

    std::string text_;
    std::vector<Frame> stack_{Frame{Kind::script}};
    std::size_t continued_ = 0;  // end of the last backslash-newline between words
    bool stopped_ = false;       // a zero byte: Tcl sees no further
    bool stopped_complete_ = false;
    std::size_t work_ = 0;
};

}  // namespace quenz
