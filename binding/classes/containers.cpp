// The bare image containers: bild16_base, bildfloat_base, bildcomplex_base.
#include "binding/runtime.h"

namespace {

struct B16 {
    using C = bild16_base;
    using GetR = unsigned short;
    using SetV = unsigned short;
    static constexpr const char *cls = "bild16_base", *get = "bild16_base_get",
                                *set = "bild16_base_set", *inst = "imgbase< 512,512,unsigned short >",
                                *val = "unsigned short";
};
struct BF {
    using C = bildfloat_base;
    using GetR = float;
    using SetV = float;
    static constexpr const char *cls = "bildfloat_base", *get = "bildfloat_base_get",
                                *set = "bildfloat_base_set", *inst = "imgbase< 512,512,float >",
                                *val = "float";
};
struct BC {
    using C = bildcomplex_base;
    using GetR = qb::Inner<COMPLEX>;  // a pointer to the pixel, not a copy
    using SetV = const COMPLEX&;
    static constexpr const char *cls = "bildcomplex_base", *get = "bildcomplex_base_get",
                                *set = "bildcomplex_base_set", *inst = "imgbase< 512,512,COMPLEX >",
                                *val = "COMPLEX";
};

// The same seven commands for each container; `get` and `set` refuse
// coordinates outside the image.
template <class K>
std::vector<qb::Entry> container() {
    using C = typename K::C;
    std::string cls = K::cls, inst = K::inst;
    std::string p = inst + " *", cp = inst + " const *", cr = inst + " const &";
    return {
        qb::fn(qb::sig(("o:" + cls + "_SIZEX_get self").c_str(), {p.c_str()},
                       [](C& c) { return c.SIZEX; })),
        qb::fn(qb::sig(("o:" + cls + "_SIZEY_get self").c_str(), {p.c_str()},
                       [](C& c) { return c.SIZEY; })),
        qb::over(("new_" + cls).c_str(),
                 {qb::sig((":new_" + cls).c_str(), {}, [] { return new C(); }),
                  qb::sig(("o:new_" + cls + " im").c_str(), {cr.c_str()},
                          [](const C& c) { return new C(c); })}),
        qb::deleter<C>(("o:delete_" + cls + " self").c_str(), p.c_str()),
        qb::fn(qb::sig(("ooo:" + cls + "_get self y x").c_str(), {cp.c_str(), "int", "int"},
                       [](const C& c, int y, int x) -> typename K::GetR {
                           C::check_yx(K::get, y, x);
                           if constexpr (std::is_same_v<typename K::GetR, qb::Inner<COMPLEX>>)
                               // The pixel handle may be written through, as ever.
                               return qb::inner(&const_cast<C&>(c).row(y)[x], c);
                           else
                               return c.get(y, x);
                       })),
        qb::fn(qb::sig(("oooo:" + cls + "_set self y x val").c_str(), {p.c_str(), "int", "int", K::val},
                       [](C& c, int y, int x, typename K::SetV v) {
                           C::check_yx(K::set, y, x);
                           c.set(y, x, v);
                       })),
        qb::klass<C>(K::cls, {{"-SIZEX", true}, {"-SIZEY", true}}),
    };
}

}  // namespace

std::vector<qb::Entry> qb::tables::bild16_base_commands() {
    return container<B16>();
}

std::vector<qb::Entry> qb::tables::bildfloat_base_commands() {
    return container<BF>();
}

std::vector<qb::Entry> qb::tables::bildcomplex_base_commands() {
    return container<BC>();
}

