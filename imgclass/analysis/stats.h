// Measurements of an image or of a rectangle of it: summary statistics, a
// histogram and a profile along a line. Plain C++; NaN pixels of a float
// image are left out of the statistics and the histogram.
#pragma once
#include <charconv>
#include <cstdint>
#include <string>
#include <limits>
#include <vector>

#include "imgclass/core/imgbase.h"
#include "imgclass/core/rect.h"

namespace quenz {

// The NaN every measurement reports: positive, so it is written "NaN"
// (0.0/0.0 makes a negative one on x86).
inline constexpr double no_value = std::numeric_limits<double>::quiet_NaN();
inline double positive_nan(double v) { return v != v ? no_value : v; }

// A number in messages: the shortest text that reads back as v.
inline std::string number_text(double v) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// n pixels counted (NaN pixels are counted in nan instead); min and max in
// the pixel type; sum, mean, population std and median in double. With
// n == 0 everything but sum (0) is NaN.
template <class T> struct image_stats {
    long n = 0;
    T min{}, max{};
    double sum = 0, mean = no_value, std = no_value, median = no_value;
    long nan = 0;
};

// Counts are summed exactly in integers; the median comes from a count of
// every value.
image_stats<unsigned short> imgstats(const bild16_base& b, const rect& r = rect::whole());
// Sums in double, pairwise; the median among the few values a sample puts
// near the middle, or else by counting the values' bit patterns.
image_stats<float> imgstats(const bildfloat_base& f, const rect& r = rect::whole());

// numpy.histogram's rule for nbins equal bins over [low, high], in double:
// the bin of v is floor((v - low) / (high - low) * nbins), that is, the i
// with e_i <= v < e_i+1 for the edges e_i = i * ((high - low) / nbins) + low
// (e_nbins = high) as numpy computes them; v == high goes into the last bin.
// Like numpy, an estimate (v - low) * (nbins / (high - low)) is corrected by
// one where rounding put it across an edge. Values outside
// [low, high] and NaN are not counted. 1 <= nbins <= 65536, finite
// low < high, otherwise an error naming `what`.
// Where that arithmetic leaves the doubles (a width that underflows to a
// subnormal or zero step, or a range wider than the largest double), the
// estimate means nothing: the bin is then the last i with e_i <= v, found
// among the edges by bisection. A step that underflows to zero spaces the
// edges as numpy's linspace then does, (i / nbins) * (high - low) + low; a
// range too wide for one double has the edges of [low/2, high/2] doubled
// (such bounds halve exactly).
struct bin_rule {
    bin_rule(const char* what, int nbins, double low, double high);
    double edge(int i) const {
        if (i == n) return high;
        if (wide) return 2 * (double(i) * step + low / 2);
        if (step == 0) return double(i) / n * (high - low) + low;  // numpy's linspace, too
        return double(i) * step + low;
    }
    // The bin of v, or -1 when v is not counted.
    int bin(double v) const {
        if (!(v >= low && v <= high)) return -1;
        if (!plain) return search(v);
        int i = int((v - low) * norm);  // numpy's estimate; the edges decide
        if (i >= n) i = n - 1;
        if (v < edge(i))
            --i;
        else if (i != n - 1 && v >= edge(i + 1))
            ++i;
        return i;
    }
    int n;
    double low, high, step, norm;
    bool wide;   // high - low overflows: edges from the halved bounds
    bool plain;  // the estimate is a finite number within one of the bin

private:
    int search(double v) const;
};
std::vector<std::uint32_t> histogram(const bild16_base& b, const bin_rule& rule,
                                     const rect& r = rect::whole());
std::vector<std::uint32_t> histogram(const bildfloat_base& f, const bin_rule& rule,
                                     const rect& r = rect::whole());

// n samples (2 <= n <= max_profile) equally spaced from (x1, y1) to
// (x2, y2) inclusive, x the column, bilinear between the four nearest
// pixels; a sample on a pixel is that pixel's value. Without n:
// floor(max(|x2 - x1|, |y2 - y1|)) + 1 samples (at least 2), one per pixel
// along a row or column. End points outside the image are an error.
inline constexpr int max_profile = 1 << 20;
std::vector<double> profile(const bild16_base& b, double x1, double y1, double x2, double y2);
std::vector<double> profile(const bildfloat_base& f, double x1, double y1, double x2, double y2);
std::vector<double> profile(const bild16_base& b, double x1, double y1, double x2, double y2, int n);
std::vector<double> profile(const bildfloat_base& f, double x1, double y1, double x2, double y2,
                            int n);

}  // namespace quenz
