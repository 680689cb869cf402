// What a reader costs on the worst file of a corpus: each file is read in
// a child process of its own (into a bild16 and a bildfloat, the page or
// HDU picked by the last byte as in the fuzz targets), and the child's
// peak resident memory above that of a child reading an empty file (which
// every reader refuses), and its time, are kept.
// Usage: reader_bounds READER < FILE-LIST   (READER: his pgm gnuplot tiff
// fits npy png, or tiffwalk and fitswalk: the listings of pages and tags,
// HDUs, cards and a cube's planes; one file name a line)
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
#include "imgclass/formats/fits.h"
#include "imgclass/formats/fits_header.h"
#include "imgclass/formats/npy.h"
#include "imgclass/formats/png_file.h"
#include "imgclass/formats/tiff.h"

namespace {

int last_byte(const char* file) {
    std::FILE* f = std::fopen(file, "rb");
    if (!f) return 0;
    int c = 0;
    if (std::fseek(f, -1, SEEK_END) == 0) c = std::fgetc(f);
    std::fclose(f);
    return c < 0 ? 0 : c % 3;
}

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
    if (reader == "his") attempt([&] { b.read_his(file); });
    if (reader == "pgm") attempt([&] { b.read_pgm(file); });
    if (reader == "gnuplot") attempt([&] { f.read_gnuplot(file); });
    if (reader == "npy") {
        attempt([&] { quenz::read_npy(file, b); });
        attempt([&] { quenz::read_npy(file, f); });
    }
    if (reader == "png") attempt([&] { quenz::read_png(file, b); });
    if (reader == "tiff") {
        attempt([&] { quenz::read_tiff(file, b, which); });
        attempt([&] { quenz::read_tiff(file, f, which); });
    }
    if (reader == "tiffwalk") {
        attempt([&] { quenz::tiff_pages(file); });
        attempt([&] { quenz::tiff_tags(file, which); });
    }
    if (reader == "fitswalk") {
        attempt([&] { quenz::fits::list_hdus(file); });
        attempt([&] { quenz::fits::header_cards(file, which + 1); });
        attempt([&] { quenz::read_fits_plane(file, f, which + 1, 0); });
        attempt([&] { quenz::read_fits_plane(file, f, which + 1, 1); });
    }
    if (reader == "fits") {
        attempt([&] { quenz::read_fits(file, b, which + 1); });
        attempt([&] { quenz::read_fits(file, f, which + 1); });
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
        std::fprintf(stderr, "usage: reader_bounds READER < FILE-LIST\n");
        return 2;
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
