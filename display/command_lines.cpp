#include "display/command_lines.h"

#include <tcl.h>

#include <cstring>

namespace quenz {

bool CommandLines::add(std::string_view line, std::string& command) {
    text_.append(line);
    text_ += '\n';
    // A zero byte ends the text Tcl looks at: no shortcut past one.
    if (line.find('\0') != std::string_view::npos) open_ = false;
    if (open_ && still_open()) return false;
    if (!check()) return false;
    command.swap(text_);
    text_.clear();
    open_ = false;
    return true;
}

// The same loop as Tcl_CommandComplete, which also tells why the text is
// incomplete: an open brace at parse.term.
bool CommandLines::check() {
    const char* s = text_.c_str();
    const char* end = s + std::strlen(s);
    const char* p = s;
    Tcl_Parse parse;
    while (Tcl_ParseCommand(nullptr, p, int(end - p), 0, &parse) == TCL_OK) {
        p = parse.commandStart + parse.commandSize;
        if (p >= end) break;
        Tcl_FreeParse(&parse);
    }
    const bool incomplete = parse.incomplete;
    open_ = false;
    if (incomplete && parse.errorType == TCL_PARSE_MISSING_BRACE && parse.term >= s &&
        parse.term < end && *parse.term == '{') {
        open_ = true;
        scanned_ = std::size_t(parse.term - s);
        level_ = 0;
        escaped_ = false;
        // The scan must see the brace open at the end, as Tcl did; if not,
        // no shortcut.
        open_ = still_open();
    }
    Tcl_FreeParse(&parse);
    return !incomplete;
}

// Tcl's rule for a braced word: braces nest, a backslash hides the
// character after it (a backslash-newline and the blanks after it contain
// no brace), nothing else counts.
bool CommandLines::still_open() {
    const std::size_t n = text_.size();
    for (std::size_t i = scanned_; i < n; ++i) {
        const char c = text_[i];
        if (escaped_) {
            escaped_ = false;
        } else if (c == '\\') {
            escaped_ = true;
        } else if (c == '{') {
            ++level_;
        } else if (c == '}' && --level_ == 0) {
            return open_ = false;
        }
    }
    scanned_ = n;
    return true;
}

}  // namespace quenz
