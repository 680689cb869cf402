// What a reader costs on the worst file of a corpus: each file is read in
// a child process of its own (into a bild16 and a bildfloat, the page or
// HDU picked by the last byte as in the fuzz targets), and the child's
// peak resident memory above that of a child reading an empty file (which
// every reader refuses), and its time, are kept.
// Usage: reader_bounds READER < FILE-LIST   (READER: a format's name, or
// its name and "walk" for its listings, e.g. tiffwalk: pages and tags;
// `reader_bounds --list` prints them all; one file name a line)
// Prints: READER files peak_kib worst_file max_ms slowest_file
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <cstring>
#include <string>
#include <vector>

#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/formats/format.h"
#include "imgclass/formats/identify.h"

namespace {

int last_byte(const char* file) {
    std::FILE* f = std::fopen(file, "rb");
    if (!f) return 0;
    int c = 0;
    if (std::fseek(f, -1, SEEK_END) == 0) c = std::fgetc(f);
    std::fclose(f);
    return c < 0 ? 0 : c % 3;
}

// READER is a format's name (its readers into both classes, its first
// numeric option, a page or an HDU, picked by the last byte from its
// lowest value) or a format's name and "walk" (its listings).
void read(const std::string& reader, const char* file) {
    static bild16 b;
    static bildfloat f;
    const int which = last_byte(file);
    auto attempt = [](auto&& fn) {
        try {
            fn();
        } catch (const std::exception&) {
        }
    };
    for (const quenz::Format& fmt : quenz::formats()) {
        if (reader == std::string(fmt.name) + "walk" && fmt.walk) attempt([&] { fmt.walk(file); });
        if (reader != fmt.name) continue;
        std::vector<std::pair<std::string, std::string>> given;
        if (!fmt.read_options.empty() && fmt.read_options[0].words.empty()) {
            const quenz::FormatOption& o = fmt.read_options[0];
            given.emplace_back(std::string(o.name), std::to_string(o.low + std::uint64_t(which)));
        }
        const quenz::FormatOptions opt(fmt.read_options, given);
        if (fmt.read16) attempt([&] { fmt.read16(file, b, opt); });
        if (fmt.readfloat) attempt([&] { fmt.readfloat(file, f, opt); });
    }
}

struct Cost {
    long kib;
    double ms;
};

// The child's peak memory (KiB) and time.
Cost measure(const std::string& reader, const char* file) {
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        std::exit(2);
    }
    if (pid == 0) {
        read(reader, file);
        _exit(0);
    }
    int status = 0;
    struct rusage ru;
    if (wait4(pid, &status, 0, &ru) != pid) std::exit(2);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "reader_bounds: %s died on %s\n", reader.c_str(), file);
        std::exit(1);
    }
    return {ru.ru_maxrss, ms};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: reader_bounds READER < FILE-LIST | --list | --identified\n");
        return 2;
    }
    // The readers this measures, from the formats' records; and the
    // formats quenz-view tells by content (its sniffing's seeds).
    if (std::string(argv[1]) == "--list" || std::string(argv[1]) == "--identified") {
        const bool all = std::string(argv[1]) == "--list";
        for (const quenz::Format& fmt : quenz::formats()) {
            if (all ? (fmt.read16 || fmt.readfloat) : quenz::identifiable(fmt)) std::printf("%s\n", fmt.name.data());
            if (all && fmt.walk) std::printf("%swalk\n", fmt.name.data());
        }
        return 0;
    }
    const std::string reader = argv[1];
    const long idle = measure(reader, "/dev/null").kib;
    Cost worst{0, 0}, slowest{0, 0};
    std::string worst_file = "-", slowest_file = "-", file;
    int files = 0;
    while (std::getline(std::cin, file)) {
        Cost c = measure(reader, file.c_str());
        ++files;
        if (c.kib - idle > worst.kib) worst = {c.kib - idle, c.ms}, worst_file = file;
        if (c.ms > slowest.ms) slowest = c, slowest_file = file;
    }
    std::printf("%s %d %ld %s %.1f %s\n", reader.c_str(), files, worst.kib, worst_file.c_str(),
                slowest.ms, slowest_file.c_str());
    return 0;
}
