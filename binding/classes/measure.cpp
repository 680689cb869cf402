// Measuring commands over bild16 and bildfloat images: summary statistics,
// histograms and profiles. They need no display.
#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/analysis/stats.h"
#include "binding/runtime/lists.h"

namespace qb {

// The statistics as a dict in a fixed key order: n min max sum mean std
// median nan. Counts' min and max are integers.
template <class T> struct Ret<quenz::image_stats<T>> {
    static void set(Tcl_Interp* i, const quenz::image_stats<T>& s) {
        auto num = [](T v) {
            if constexpr (std::is_integral_v<T>)
                return Tcl_NewWideIntObj(v);
            else
                return Tcl_NewDoubleObj(quenz::positive_nan(double(v)));
        };
        Tcl_Obj* kv[] = {
            Tcl_NewStringObj("n", -1),      Tcl_NewWideIntObj(s.n),
            Tcl_NewStringObj("min", -1),    num(s.min),
            Tcl_NewStringObj("max", -1),    num(s.max),
            Tcl_NewStringObj("sum", -1),    Tcl_NewDoubleObj(s.sum),
            Tcl_NewStringObj("mean", -1),   Tcl_NewDoubleObj(s.mean),
            Tcl_NewStringObj("std", -1),    Tcl_NewDoubleObj(s.std),
            Tcl_NewStringObj("median", -1), Tcl_NewDoubleObj(s.median),
            Tcl_NewStringObj("nan", -1),    Tcl_NewWideIntObj(s.nan),
        };
        Tcl_SetObjResult(i, Tcl_NewListObj(16, kv));
    }
};

}  // namespace qb

namespace {

using quenz::checked_rect;

// The type text of the image argument in messages.
template <class I> struct Kind;
template <> struct Kind<bild16> {
    static constexpr const char* ref = "bild16 const &";
};
template <> struct Kind<bildfloat> {
    static constexpr const char* ref = "bildfloat const &";
};

template <class I> std::vector<qb::Sig> imgstats() {
    return {qb::sig("o:imgstats img", {Kind<I>::ref}, [](const I& b) { return quenz::imgstats(b); }),
            qb::sig("ooooo:imgstats img x1 y1 x2 y2", {Kind<I>::ref, "int", "int", "int", "int"},
                    [](const I& b, int x1, int y1, int x2, int y2) {
                        return quenz::imgstats(b, checked_rect("imgstats", x1, y1, x2, y2));
                    })};
}

template <class I> std::vector<qb::Sig> histogram() {
    return {qb::sig("oooo:histogram img nbins low high", {Kind<I>::ref, "int", "double", "double"},
                    [](const I& b, int nbins, double low, double high) {
                        return quenz::histogram(b, quenz::bin_rule("histogram", nbins, low, high));
                    }),
            qb::sig("oooooooo:histogram img nbins low high x1 y1 x2 y2",
                    {Kind<I>::ref, "int", "double", "double", "int", "int", "int", "int"},
                    [](const I& b, int nbins, double low, double high, int x1, int y1, int x2, int y2) {
                        const quenz::bin_rule rule("histogram", nbins, low, high);
                        return quenz::histogram(b, rule, checked_rect("histogram", x1, y1, x2, y2));
                    })};
}

template <class I> std::vector<qb::Sig> profile() {
    return {qb::sig("ooooo:profile img x1 y1 x2 y2", {Kind<I>::ref, "double", "double", "double", "double"},
                    [](const I& b, double x1, double y1, double x2, double y2) {
                        return quenz::profile(b, x1, y1, x2, y2);
                    }),
            qb::sig("oooooo:profile img x1 y1 x2 y2 n",
                    {Kind<I>::ref, "double", "double", "double", "double", "int"},
                    [](const I& b, double x1, double y1, double x2, double y2, int n) {
                        return quenz::profile(b, x1, y1, x2, y2, n);
                    })};
}


std::vector<qb::Sig> join(std::vector<qb::Sig> a, std::vector<qb::Sig> b) {
    for (auto& s : b) a.push_back(std::move(s));
    return a;
}

}  // namespace

// After every other command: measurements came last.
std::vector<qb::Entry> qb::tables::measure_commands() {
    return {
        qb::with_usage(qb::over("imgstats", join(imgstats<bild16>(), imgstats<bildfloat>()))),
        qb::with_usage(qb::over("histogram", join(histogram<bild16>(), histogram<bildfloat>()))),
        qb::with_usage(qb::over("profile", join(profile<bild16>(), profile<bildfloat>()))),
    };
}
