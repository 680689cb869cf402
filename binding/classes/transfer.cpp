// Pixels in and out in bulk: `data`/`setdata` (the whole image as a byte
// array) of bild16, bildfloat and bildcomplex, and `getrow`/`getcol`/
// `setrow`/`setcol` (one row or column as a list) of bild16 and bildfloat.
// The class entries list them as methods.
#include "binding/runtime/bytes.h"
#include "imgclass/core/bild16.h"
#include "imgclass/fourier/bildcomplex.h"
#include "imgclass/core/bildfloat.h"
#include "binding/runtime/lists.h"

namespace {

// The names and type texts of one class.
template <class I> struct Names;
template <> struct Names<bild16> {
    static constexpr const char *self = "bild16 *", *cself = "bild16 const *",
                                *values = "unsigned short []";
    using base = bild16_base;
};
template <> struct Names<bildfloat> {
    static constexpr const char *self = "bildfloat *", *cself = "bildfloat const *",
                                *values = "float []";
    using base = bildfloat_base;
};
template <> struct Names<bildcomplex> {
    static constexpr const char *self = "bildcomplex *", *cself = "bildcomplex const *";
    using base = bildcomplex_base;
};
constexpr const char* bytes = "unsigned char []";

// The stored formats, as constants a template can take: the calls name
// their command in their messages.
#define QB_BULK(cls)                                                        \
    constexpr const char cls##_data[] = "o:" #cls "_data self";              \
    constexpr const char cls##_setdata[] = "oo:" #cls "_setdata self bytes";
#define QB_LINES(cls)                                                       \
    constexpr const char cls##_getrow[] = "oo:" #cls "_getrow self y";       \
    constexpr const char cls##_getcol[] = "oo:" #cls "_getcol self x";       \
    constexpr const char cls##_setrow[] = "ooo:" #cls "_setrow self y values"; \
    constexpr const char cls##_setcol[] = "ooo:" #cls "_setcol self x values";
QB_BULK(bild16)
QB_BULK(bildfloat)
QB_BULK(bildcomplex)
QB_LINES(bild16)
QB_LINES(bildfloat)
#undef QB_BULK
#undef QB_LINES

// The command name inside a format ("oo:bild16_setdata self bytes" -> "bild16_setdata").
template <const char* F> const char* name_of() {
    static const std::string n = [] {
        std::string s(F);
        s = s.substr(s.find(':') + 1);
        return s.substr(0, s.find(' '));
    }();
    return n.c_str();
}

template <class I, const char* Data, const char* SetData> std::vector<qb::Entry> bulk() {
    return {
        qb::fn(qb::sig<Data>({Names<I>::cself}, [](const I& img) { return qb::bytes_of(img); })),
        qb::fn(qb::sig<SetData>({Names<I>::self, bytes}, [](I& img, qb::Bytes b) -> I& {
            quenz::from_bytes(img, b.data, b.size, name_of<SetData>());
            return img;
        })),
    };
}

template <class I, const char* GetRow, const char* GetCol, const char* SetRow, const char* SetCol>
std::vector<qb::Entry> lines() {
    using B = typename Names<I>::base;
    using T = typename B::data_t;
    return {
        qb::fn(qb::sig<GetRow>({Names<I>::cself, "int"},
                       [](const I& img, int y) { return quenz::get_row<B>(img, name_of<GetRow>(), y); })),
        qb::fn(qb::sig<GetCol>({Names<I>::cself, "int"},
                       [](const I& img, int x) { return quenz::get_col<B>(img, name_of<GetCol>(), x); })),
        qb::fn(qb::sig<SetRow>({Names<I>::self, "int", Names<I>::values},
                       [](I& img, int y, qb::Values<T> v) -> I& {
                           quenz::set_row<B>(img, name_of<SetRow>(), y, v.v);
                           return img;
                       })),
        qb::fn(qb::sig<SetCol>({Names<I>::self, "int", Names<I>::values},
                       [](I& img, int x, qb::Values<T> v) -> I& {
                           quenz::set_col<B>(img, name_of<SetCol>(), x, v.v);
                           return img;
                       })),
    };
}

std::vector<qb::Entry> join(std::vector<qb::Entry> a, std::vector<qb::Entry> b) {
    for (auto& e : b) a.push_back(std::move(e));
    return a;
}

}  // namespace

// In each class's area, after its other commands.
std::vector<qb::Entry> qb::tables::bild16_transfer_commands() {
    return join(bulk<bild16, bild16_data, bild16_setdata>(),
                lines<bild16, bild16_getrow, bild16_getcol, bild16_setrow, bild16_setcol>());
}

std::vector<qb::Entry> qb::tables::bildfloat_transfer_commands() {
    return join(bulk<bildfloat, bildfloat_data, bildfloat_setdata>(),
                lines<bildfloat, bildfloat_getrow, bildfloat_getcol, bildfloat_setrow, bildfloat_setcol>());
}

std::vector<qb::Entry> qb::tables::bildcomplex_transfer_commands() {
    return bulk<bildcomplex, bildcomplex_data, bildcomplex_setdata>();
}
