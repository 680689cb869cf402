// The type table: mangled and readable names, which handles each type
// accepts (itself and what an upcast entry names), and the destructor and
// class of each type.
#include <algorithm>
#include <array>
#include <iterator>
#include <cstring>
#include <string>
#include <string_view>

#include "types.h"

namespace qb {
namespace {

constexpr std::uint32_t bit(Ty t) { return std::uint32_t{1} << t; }

// One row per Ty, in its order: mangled and readable names. Which handles
// a type accepts and its family follow from the upcast entries of the
// command table (set_upcast), not from this table.
constexpr TypeRecord rows[] = {
    {"_p_COMPLEX", "COMPLEX *"},
    {"_p_Parabelzentrum", "Parabelzentrum *"},
    {"_p_QRfit", "QRfit *"},
    {"_p_Voronoischnitt", "Voronoischnitt *"},
    {"_p_bild16", "bild16 *"},
    {"_p_bildcomplex", "bildcomplex *"},
    {"_p_bildfloat", "bildfloat *"},
    {"_p_char", "char *"},
    {"_p_data_t", "data_t *"},
    {"_p_double", "double *"},
    {"_p_eichkurve", "eichkurve *"},
    {"_p_exp4kurve", "exp4kurve *"},
    {"_p_expkurve", "expkurve *"},
    {"_p_float", "float *"},
    {"_p_imgbaseT_512_512_COMPLEX_t", "imgbase< 512,512,COMPLEX > *|bildcomplex_base *"},
    {"_p_imgbaseT_512_512_bool_t", "region_t *|imgbase< 512,512,bool > *|region_base *"},
    {"_p_imgbaseT_512_512_float_t", "imgbase< 512,512,float > *|bildfloat_base *"},
    {"_p_imgbaseT_512_512_std__valarrayT_float_t_t", "imgbase< 512,512,std::valarray< float > > *|interpol_base *"},
    {"_p_imgbaseT_512_512_unsigned_short_t", "imgbase< 512,512,unsigned short > *|bild16_base *"},
    {"_p_int", "int *"},
    {"_p_std__valarrayT_float_t", "std::valarray< float > *|lut *"},
    {"_p_surface", "surface *"},
    {"_p_tablekurve", "tablekurve *"},
    {"_p_vec2d", "vec2d *"},
};
static_assert(std::size(rows) == T_count, "one row per Ty");
static_assert(std::is_sorted(std::begin(rows), std::end(rows),
                             [](const TypeRecord& a, const TypeRecord& b) {
                                 return std::string_view(a.mangled) < std::string_view(b.mangled);
                             }),
              "Ty and its rows are sorted by mangled name (type_by_mangled searches them)");
static_assert(T_count <= 32, "accepts has one bit per Ty");

// Each type accepts itself and is its own family until an upcast says more.
std::array<TypeRecord, T_count> table = [] {
    std::array<TypeRecord, T_count> t{};
    for (int i = 0; i < T_count; ++i) {
        t[i] = rows[i];
        t[i].accepts = bit(Ty(i));
        t[i].family = Ty(i);
    }
    return t;
}();

void* (*casts[T_count][T_count])(void*) = {};
// The type an upcast leads to, or T_count.
std::array<Ty, T_count> parent = [] {
    std::array<Ty, T_count> p{};
    p.fill(T_count);
    return p;
}();

bool same_ignoring_blanks(const char* a, const char* aend, const char* b) {
    for (;;) {
        while (a < aend && *a == ' ') ++a;
        while (*b == ' ') ++b;
        if (a == aend || *b == '\0') return a == aend && *b == '\0';
        if (*a++ != *b++) return false;
    }
}

}  // namespace

TypeRecord& type_record(Ty t) { return table[t]; }
const char* mangled_name(Ty t) { return table[t].mangled; }

Ty type_by_mangled(const char* name, std::size_t len) {
    std::string_view key(name, len);
    auto it = std::lower_bound(std::begin(table), std::end(table), key,
                               [](const TypeRecord& r, std::string_view k) { return r.mangled < k; });
    if (it != std::end(table) && it->mangled == key) return Ty(it - std::begin(table));
    return T_count;
}

Ty type_by_readable(const char* name) {
    Ty t = type_by_mangled(name, std::strlen(name));
    if (t != T_count) return t;
    for (int i = 0; i < T_count; ++i) {
        const char* p = table[i].readable;
        while (true) {
            const char* bar = std::strchr(p, '|');
            const char* end = bar ? bar : p + std::strlen(p);
            if (same_ignoring_blanks(p, end, name)) return Ty(i);
            if (!bar) break;
            p = bar + 1;
        }
    }
    return T_count;
}

// "bild16 *", "bild16 const &", "imgbase< 512,512,float > *", "COMPLEX":
// one of t's readable names with "*" or "&", "const" or not before it (a
// handle is a handle: the texts of the messages say "bild16 *" for a self
// the body takes as const), or alone for a value or a const reference.
bool names_object(Ty t, std::string_view text, bool is_const, char mark) {
    auto trim = [](std::string_view v) {
        while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
        return v;
    };
    std::string_view base = trim(text);
    const bool marked = !base.empty() && (base.back() == '*' || base.back() == '&');
    if (!marked && !(mark == ' ' || (mark == '&' && is_const))) return false;
    if (marked) {
        base = trim(base.substr(0, base.size() - 1));
        if (base.size() > 6 && base.substr(base.size() - 6) == " const") base = trim(base.substr(0, base.size() - 6));
    }
    return type_by_readable((std::string(base) + " *").c_str()) == t;
}

void set_destructor(Ty t, void (*dtor)(void*)) { table[t].dtor = dtor; }
// An upcast: handles of from are accepted where to is expected, and from
// is of to's family (an object keeps one handle whichever type names it).
void set_upcast(Ty from, Ty to, void* (*cast)(void*)) {
    casts[from][to] = cast;
    table[to].accepts |= bit(from);
    parent[from] = to;
    for (int i = 0; i < T_count; ++i) {
        Ty root = Ty(i);
        for (int depth = 0; depth < T_count && parent[root] != T_count; ++depth) root = parent[root];
        table[i].family = root;
    }
}

void* cast_address(void* addr, Ty from, Ty to) {
    if (!addr || from == to || !casts[from][to]) return addr;
    return casts[from][to](addr);
}

}  // namespace qb
