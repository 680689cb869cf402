// Failures of the image library. A quenz::Error reaches a script as
// "RuntimeError <message>"; anything else thrown becomes "Some C++-Error".
#pragma once
#include <stdexcept>
#include <string>

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

}  // namespace quenz
