// getminmax: the minimum and maximum of a rectangle of an image, as a
// two-element list. It needs no display, so it is in both packages.
#include "binding/runtime.h"
#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"


namespace {

template <class I> constexpr const char* ref();
template <> constexpr const char* ref<bild16>() { return "bild16 const &"; }
template <> constexpr const char* ref<bildfloat>() { return "bildfloat const &"; }

template <class I> qb::Sig getminmax() {
    return qb::sig("ooooo:getminmax INPUT x1 y1 x2 y2 ", {ref<I>(), "int", "int", "int", "int"},
                   [](const I& b, int x1, int y1, int x2, int y2) {
                       return quenz::getminmax(b, x1, y1, x2, y2);
                   });
}

}  // namespace

// Created after the display commands, in both packages.
std::vector<qb::Entry> qb::tables::getminmax_commands() {
    return {qb::over("getminmax", {getminmax<bild16>(), getminmax<bildfloat>()})};
}
