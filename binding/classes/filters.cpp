// The filters and corrections of bildfloat: convolution, Gaussian
// smoothing, bad-pixel repair and masks (the class entry lists them).
#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "binding/runtime.h"

namespace {

using kernel_t = std::span<const float>;

}  // namespace

std::vector<qb::Entry> qb::tables::bildfloat_filters_commands() {
    return {
        qb::listed_at(9, qb::fn(qb::sig("oooo:bildfloat_convolve self INARRAY sx sy",
                                        {"bildfloat const *", "float []", "int", "int"},
                                        [](const bildfloat& b, kernel_t k, int sx, int sy) {
                                            return b.convolve(k, sx, sy, true);
                                        }))),
        qb::listed_at(14, qb::fn(qb::sig("oooo:bildfloat_convolve_unnorm self INARRAY sx sy",
                                         {"bildfloat const *", "float []", "int", "int"},
                                         qb::mem<&bildfloat::convolve_unnorm>()))),
        qb::listed_at(10, qb::fn(qb::sig("oo:bildfloat_gaussian self radius", {"bildfloat *", "float"},
                                         qb::mem<&bildfloat::gaussian>()))),
        qb::listed_at(12, qb::over("bildfloat_badpix_correct",
                 {qb::sig("ooo:bildfloat_badpix_correct self bpmap threshold",
                          {"bildfloat *", "bild16 const &", "bild16::data_t"},
                          qb::mem<&bildfloat::badpix_correct>()),
                  qb::sig("oo:bildfloat_badpix_correct self bpmap", {"bildfloat *", "bild16 const &"},
                          [](bildfloat& b, const bild16& map) -> bildfloat& {
                              return b.badpix_correct(map);
                          })})),
        qb::listed_at(13, qb::fn(qb::sig("oo:bildfloat_mask self reg", {"bildfloat *", "region_t const &"},
                                         qb::mem<&bildfloat::mask>()))),
    };
}

