// Failures of the image library. A quenz::Error reaches a script as
// "RuntimeError <message>"; anything else thrown becomes "Some C++-Error".
#pragma once
#include <stdexcept>
#include <string>
#include <string_view>

namespace quenz {

struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Thrown where the library deliberately does not tell the script why
// (the solver's texts): the binding reports it as "Some C++-Error".
struct InternalError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A file a reader refuses: "<file>: <why>".
[[noreturn]] inline void refuse(const char* file, const std::string& why) {
    throw Error(std::string(file) + ": " + why);
}

// A file that cannot be opened: "<file><wording>". Scripts compare these
// texts and each format has always worded it its own way, so the reader
// names its wording and this is the one place the texts are written.
enum class Unopened { bang, bang_newline, dot, unreadable };

[[noreturn]] inline void cannot_open(std::string_view file, Unopened wording) {
    static constexpr std::string_view tails[] = {" not found!", " not found!\n", " not found.",
                                                 " not readable"};
    std::string text(file);
    text += tails[static_cast<int>(wording)];
    throw Error(text);
}

// A file that could not be written (or its old contents replaced).
[[noreturn]] inline void cannot_write(std::string_view file) {
    throw Error("Cannot write to " + std::string(file));
}

}  // namespace quenz
