// Lines of Tcl text cut into complete commands: a command is the shortest
// run of lines that Tcl_CommandComplete accepts, exactly as when it is
// asked after every line, but in time linear in the text. Asking after
// every line re-parses all pending lines each time, so a block of n lines
// in braces (a procedure body, a list of data) costs n parses of a growing
// text; here the open brace is followed by a counter over the new lines
// only, and Tcl parses again once that brace closes.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace quenz {

class CommandLines {
public:
    // Adds one line (without its line end). True when the lines so far make
    // a complete command, which is then moved to `command` (with a line end
    // after each line) and no longer pending.
    bool add(std::string_view line, std::string& command);
    // The lines of an incomplete command so far.
    const std::string& pending() const { return text_; }

private:
    // Tcl_CommandComplete on the pending text; notes a braced word left open.
    bool check();
    // Follows the open braced word over the text from scanned_ on; false
    // once it has closed.
    bool still_open();

    std::string text_;
    bool open_ = false;       // a braced word is open at the end of text_
    std::size_t scanned_ = 0;  // ... scanned up to here
    long level_ = 0;           // ... with this nesting depth
    bool escaped_ = false;     // ... and a backslash just before scanned_
};

}  // namespace quenz
