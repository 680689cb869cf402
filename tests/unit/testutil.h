// Small helpers shared by the unit tests.
#pragma once
#include <unistd.h>

#include <filesystem>
#include <string>

#include "imgclass/system/error.h"

namespace testutil {

inline constexpr const char* nothing_thrown = "(nothing thrown)";

// The message of the E that f throws, or nothing_thrown.
template <class E = quenz::Error, class F> std::string error_of(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return nothing_thrown;
}

// A scratch file name of this process in the temporary directory.
inline std::string scratch(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("quenz-test-" + std::to_string(getpid()) + "-" + name))
        .string();
}

}  // namespace testutil
