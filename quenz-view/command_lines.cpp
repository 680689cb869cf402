#include "quenz-view/command_lines.h"

#include <tcl.h>

#include <cstring>

// The rules below are those of Tcl's parser (Tcl_ParseCommand and the
// functions it calls) as far as they decide whether a text is complete.
// Each line arrives with its line end, so every look past the current byte
// (a backslash's next byte, a variable name, {*}) stays inside the text.

namespace quenz {
namespace {

// Tcl's white space between words: newline is a command end, not space.
bool is_space(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

void CommandLines::reset() {
    text_.clear();
    stack_.assign(1, Frame{Kind::script});
    continued_ = 0;
    stopped_ = stopped_complete_ = false;
}

bool CommandLines::add(std::string_view line, std::string& command) {
    const std::size_t from = text_.size();
    text_.append(line);
    text_ += '\n';
    bool complete;
    if (stopped_) {
        // Nothing after a zero byte reaches Tcl's parser.
        complete = stopped_complete_;
    } else if (line.find('\0') != std::string_view::npos) {
        // The text ends at the zero byte for Tcl (anywhere, not at a line
        // end): ask Tcl once; no later line can change its answer.
        stopped_ = true;
        complete = stopped_complete_ = Tcl_CommandComplete(text_.c_str());
        work_ += text_.size();
    } else {
        // Complete: a syntax error (Tcl stops there), or nothing left open
        // and no backslash-newline at the very end.
        complete = !scan(from) || (stack_.size() == 1 && continued_ != text_.size());
    }
    if (!complete) return false;
    command.swap(text_);
    reset();
    return true;
}

// A word at byte i of the script on top of the stack: quoted, braced or
// bare. `expanded`: it follows the {*} prefix (no second prefix).
std::size_t CommandLines::begin_word(std::size_t i, bool expanded) {
    Frame& script = stack_.back();
    const bool nested = script.kind == Kind::bracket;
    const char c = text_[i];
    if (c == '"') {
        script.at = At::after_word;
        stack_.push_back(Frame{Kind::quote});
        return i + 1;
    }
    if (c == '{') {
        script.at = expanded ? At::after_word : At::after_braces;
        script.start = i;
        stack_.push_back(Frame{Kind::braces, At::command, i, 1});
        return i + 1;
    }
    script.at = At::after_word;
    stack_.push_back(Frame{Kind::word, At::command, i, nested ? 1 : 0});
    return i;
}

// Byte i of a word that substitutes (bare, quoted or an index): a backslash
// hides the next byte, a dollar sign or a bracket opens a substitution.
std::size_t CommandLines::substitution(std::size_t i) {
    switch (text_[i]) {
        case '\\':
            return i + 2;
        case '$':
            return dollar(i);
        case '[':
            stack_.push_back(Frame{Kind::bracket});
            return i + 1;
        default:
            return i + 1;
    }
}

// A dollar sign at byte i in a word, a quoted word or an index: ${name},
// name(index), name, or just a dollar sign. A name is ASCII letters,
// digits, underscores and runs of two or more colons.
std::size_t CommandLines::dollar(std::size_t i) {
    const char* s = text_.data();
    std::size_t j = i + 1;
    if (s[j] == '{') {
        stack_.push_back(Frame{Kind::var_braces});
        return j + 1;
    }
    for (;;) {
        const char c = s[j];
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_') {
            ++j;
        } else if (c == ':' && s[j + 1] == ':') {
            j += 2;
            while (s[j] == ':') ++j;
        } else {
            break;
        }
    }
    work_ += j - i;
    if (s[j] == '(') {
        stack_.push_back(Frame{Kind::index});
        return j + 1;
    }
    return j;
}

bool CommandLines::scan(std::size_t i) {
    const char* s = text_.data();
    const std::size_t n = text_.size();
    while (i < n) {
        ++work_;
        Frame& f = stack_.back();
        const char c = s[i];
        // (The text ends with a newline, so a byte other than a newline
        // always has a next one.)
        const bool bs_newline = c == '\\' && s[i + 1] == '\n';
        switch (f.kind) {
        case Kind::script:
        case Kind::bracket: {
            const bool nested = f.kind == Kind::bracket;
            switch (f.at) {
            case At::command:  // white space, newlines and comments before a command
                if (is_space(c) || c == '\n') {
                    ++i;
                } else if (bs_newline) {
                    continued_ = i += 2;
                } else if (c == '#') {
                    f.at = At::comment;
                    ++i;
                } else {
                    f.at = At::gap;
                }
                break;
            case At::comment:  // a backslash hides the next byte, a newline ends it
                if (c == '\\') {
                    if (bs_newline) continued_ = i + 2;
                    i += 2;
                } else {
                    if (c == '\n') f.at = At::command;
                    ++i;
                }
                break;
            case At::after_braces:  // {*} and no space after it: the prefix
                if (i - f.start == 3 && s[f.start + 1] == '*' && !is_space(c) && c != '\n' &&
                    c != ';' && !bs_newline) {
                    i = begin_word(i, true);
                    break;
                }
                f.at = At::after_word;
                [[fallthrough]];
            case At::gap:
            case At::after_word:
                if (is_space(c)) {
                    f.at = At::gap;
                    ++i;
                } else if (bs_newline) {
                    f.at = At::gap;
                    continued_ = i += 2;
                } else if (c == '\n' || c == ';') {
                    f.at = At::command;
                    ++i;
                } else if (c == ']' && nested) {
                    stack_.pop_back();  // the substitution ends; its word goes on
                    ++i;
                } else if (f.at == At::after_word) {
                    return false;  // extra characters after a close-brace or close-quote
                } else {
                    i = begin_word(i, false);
                }
                break;
            }
            break;
        }
        case Kind::word:  // a bare word: up to white space or a command end
            if (is_space(c) || c == '\n' || c == ';' || (c == ']' && f.level) || bs_newline)
                stack_.pop_back();
            else
                i = substitution(i);
            break;
        case Kind::quote:
        case Kind::index:
            if (c == (f.kind == Kind::quote ? '"' : ')')) {
                stack_.pop_back();
                ++i;
            } else {
                i = substitution(i);
            }
            break;
        case Kind::braces:  // braces nest; a backslash hides the next byte
            if (c == '\\') {
                i += 2;
                break;
            }
            if (c == '{') {
                ++f.level;
            } else if (c == '}' && --f.level == 0) {
                stack_.pop_back();
            }
            ++i;
            break;
        case Kind::var_braces:  // ${...}: the first close brace ends it
            if (c == '}') stack_.pop_back();
            ++i;
            break;
        }
    }
    return true;
}

}  // namespace quenz
