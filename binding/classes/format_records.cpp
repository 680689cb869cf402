// The commands made from the formats' records (imgclass/formats/format.h):
// `quenz::formats`, which lists every record for scripts (quenz-view picks
// its readers, the extensions it watches and its header listings from it),
// and the readers and writers of each format whose record declares its
// options: `<class>_read_<name> self name ?-option value ...?` and
// `<class>_write_<name> ...` for each image class the record names.
#include <array>
#include <stdexcept>
#include <type_traits>
#include <string>
#include <utility>
#include <vector>

#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/formats/format.h"
#include "imgclass/system/error.h"
#include "binding/format_list.h"
#include "binding/runtime.h"

namespace {

constexpr const char* text = "char const *";

using quenz::Format;
using quenz::FormatOption;

// ------------------------------------------------ generated readers and writers

// The options of one call: the words after the file name, in pairs.
template <class... W> quenz::FormatOptions options(std::span<const FormatOption> allowed, W... words) {
    std::array<std::string_view, sizeof...(W)> w{words...};
    std::vector<std::pair<std::string, std::string>> given;
    for (std::size_t i = 0; i + 1 < w.size(); i += 2) {
        if (w[i].empty() || w[i][0] != '-')
            throw quenz::Error("bad option \"" + std::string(w[i]) + "\": must be " + quenz::option_choices(allowed));
        given.emplace_back(std::string(w[i].substr(1)), std::string(w[i + 1]));
    }
    return quenz::FormatOptions(allowed, std::move(given));
}

// A call with K option pairs of format I into or from class C.
template <std::size_t I, class C, std::size_t K> struct Read;
template <std::size_t I, class C, std::size_t K> struct Write;

template <std::size_t I, class C, class... W> C& do_read(C& img, const char* file, W... w) {
    const Format& f = quenz::formats()[I];
    const auto o = options(f.read_options, w...);
    if constexpr (std::is_same_v<C, bild16>)
        f.read16(file, img, o);
    else
        f.readfloat(file, img, o);
    return img;
}
template <std::size_t I, class C, class... W> void do_write(const C& img, const char* file, W... w) {
    const Format& f = quenz::formats()[I];
    const auto o = options(f.write_options, w...);
    if constexpr (std::is_same_v<C, bild16>)
        f.write16(file, img, o);
    else
        f.writefloat(file, img, o);
}

using sv = std::string_view;
template <std::size_t I, class C> struct Read<I, C, 0> {
    C& operator()(C& b, const char* f) const { return do_read<I>(b, f); }
};
template <std::size_t I, class C> struct Read<I, C, 1> {
    C& operator()(C& b, const char* f, sv a, sv x) const { return do_read<I>(b, f, a, x); }
};
template <std::size_t I, class C> struct Read<I, C, 2> {
    C& operator()(C& b, const char* f, sv a, sv x, sv c, sv y) const { return do_read<I>(b, f, a, x, c, y); }
};
template <std::size_t I, class C> struct Read<I, C, 3> {
    C& operator()(C& b, const char* f, sv a, sv x, sv c, sv y, sv d, sv z) const {
        return do_read<I>(b, f, a, x, c, y, d, z);
    }
};
template <std::size_t I, class C> struct Write<I, C, 0> {
    void operator()(const C& b, const char* f) const { do_write<I>(b, f); }
};
template <std::size_t I, class C> struct Write<I, C, 1> {
    void operator()(const C& b, const char* f, sv a, sv x) const { do_write<I>(b, f, a, x); }
};
template <std::size_t I, class C> struct Write<I, C, 2> {
    void operator()(const C& b, const char* f, sv a, sv x, sv c, sv y) const { do_write<I>(b, f, a, x, c, y); }
};
template <std::size_t I, class C> struct Write<I, C, 3> {
    void operator()(const C& b, const char* f, sv a, sv x, sv c, sv y, sv d, sv z) const {
        do_write<I>(b, f, a, x, c, y, d, z);
    }
};
constexpr std::size_t max_options = 3;

// "self name ?-type u16|f32? ?-order little|big? ?-offset N?"
std::string usage(std::span<const FormatOption> opts) {
    std::string u = "self name";
    for (const FormatOption& o : opts) {
        u += " ?-";
        u += o.name;
        u += ' ';
        if (o.words.empty()) u += 'N';
        for (std::size_t i = 0; i < o.words.size(); ++i) {
            if (i) u += '|';
            u += o.words[i];
        }
        u += '?';
    }
    return u;
}

// The signatures of one command: the file name, then 0 to K option pairs.
template <template <std::size_t, class, std::size_t> class Op, std::size_t I, class C, std::size_t... K>
std::vector<qb::Sig> forms(const std::string& name, const char* self, std::size_t most, std::index_sequence<K...>) {
    std::vector<qb::Sig> sigs;
    auto add = [&](auto k) {
        constexpr std::size_t pairs = decltype(k)::value;
        if (pairs > most) return;
        std::string fmt(2 + 2 * pairs, 'o');
        fmt += ":" + name + " self name";
        for (std::size_t p = 0; p < pairs; ++p) fmt += " -option value";
        // (Option words and values are text: any word converts.)
        const char* t = text;
        if constexpr (pairs == 0)
            sigs.push_back(qb::sig(fmt.c_str(), {self, t}, Op<I, C, 0>{}));
        else if constexpr (pairs == 1)
            sigs.push_back(qb::sig(fmt.c_str(), {self, t, t, t}, Op<I, C, 1>{}));
        else if constexpr (pairs == 2)
            sigs.push_back(qb::sig(fmt.c_str(), {self, t, t, t, t, t}, Op<I, C, 2>{}));
        else
            sigs.push_back(qb::sig(fmt.c_str(), {self, t, t, t, t, t, t, t}, Op<I, C, 3>{}));
    };
    (add(std::integral_constant<std::size_t, K>{}), ...);
    return sigs;
}

template <std::size_t I, class C> void add_commands(std::vector<qb::Entry>& out, const char* cls) {
    const Format& f = quenz::formats()[I];
    const std::string self = std::string(cls) + " *", cself = std::string(cls) + " const *";
    const bool reads = std::is_same_v<C, bild16> ? f.read16 != nullptr : f.readfloat != nullptr;
    const bool writes = std::is_same_v<C, bild16> ? f.write16 != nullptr : f.writefloat != nullptr;
    const auto seq = std::make_index_sequence<max_options + 1>{};
    auto entry = [&](const std::string& name, std::vector<qb::Sig> sigs, std::span<const FormatOption> opts) {
        qb::Entry e = qb::with_usage(qb::over(name.c_str(), std::move(sigs)));
        const std::string u = usage(opts);
        for (qb::Sig& s : e.sigs) s.usage = u;
        out.push_back(std::move(e));
    };
    if (reads)
        entry(std::string(cls) + "_read_" + std::string(f.name),
              forms<Read, I, C>(std::string(cls) + "_read_" + std::string(f.name), self.c_str(),
                                f.read_options.size(), seq),
              f.read_options);
    if (writes)
        entry(std::string(cls) + "_write_" + std::string(f.name),
              forms<Write, I, C>(std::string(cls) + "_write_" + std::string(f.name), cself.c_str(),
                                 f.write_options.size(), seq),
              f.write_options);
}

template <std::size_t... I> std::vector<qb::Entry> generated(std::index_sequence<I...>) {
    std::vector<qb::Entry> out;
    auto one = [&](auto i) {
        constexpr std::size_t k = decltype(i)::value;
        const Format& f = quenz::formats()[k];
        if (!f.generated) return;
        if (f.read_options.size() > max_options || f.write_options.size() > max_options)
            throw std::logic_error("format " + std::string(f.name) + " has more options than its commands take");
        add_commands<k, bild16>(out, "bild16");
        add_commands<k, bildfloat>(out, "bildfloat");
    };
    (one(std::integral_constant<std::size_t, I>{}), ...);
    return out;
}

}  // namespace

// After every other section: the commands made from the records came last.
std::vector<qb::Entry> qb::tables::format_record_commands() {
    std::vector<qb::Entry> e = generated(std::make_index_sequence<quenz::format_count>{});
    e.push_back(qb::with_usage(qb::over(
        "quenz::formats", {qb::sig(":quenz::formats", {}, [] { return qb::format_list(); }),
                           qb::sig("o:quenz::formats name", {"std::string_view"}, [](std::string_view name) {
                               return qb::format_list(name);
                           })})));
    return e;
}
