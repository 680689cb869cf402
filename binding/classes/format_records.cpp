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

template <std::size_t, class T> using as = T;

template <std::size_t I, class C> C& do_read(C& img, const char* file, std::initializer_list<std::string_view> w) {
    const Format& f = quenz::formats()[I];
    const auto o = quenz::options_from_words(f.read_options, w);
    if constexpr (std::is_same_v<C, bild16>)
        f.read16(file, img, o);
    else
        f.readfloat(file, img, o);
    return img;
}
template <std::size_t I, class C> void do_write(const C& img, const char* file, std::initializer_list<std::string_view> w) {
    const Format& f = quenz::formats()[I];
    const auto o = quenz::options_from_words(f.write_options, w);
    if constexpr (std::is_same_v<C, bild16>)
        f.write16(file, img, o);
    else
        f.writefloat(file, img, o);
}

// A call of format I into or from class C with the words of its options.
template <std::size_t I, class C, class Words> struct Read;
template <std::size_t I, class C, std::size_t... J> struct Read<I, C, std::index_sequence<J...>> {
    C& operator()(C& b, const char* f, as<J, std::string_view>... w) const { return do_read<I>(b, f, {w...}); }
};
template <std::size_t I, class C, class Words> struct Write;
template <std::size_t I, class C, std::size_t... J> struct Write<I, C, std::index_sequence<J...>> {
    void operator()(const C& b, const char* f, as<J, std::string_view>... w) const { do_write<I>(b, f, {w...}); }
};
// The most words a command's options take (the raw reader's seven).
constexpr std::size_t max_words = 16;

std::size_t words_of(std::span<const FormatOption> opts) {
    std::size_t k = 0;
    for (const FormatOption& o : opts) k += 1 + o.values;
    return k;
}

// "self name ?-type u16|f32? ?-order little|big? ?-offset N? ?-roi X Y?"
std::string usage(std::span<const FormatOption> opts) {
    std::string u = "self name";
    for (const FormatOption& o : opts) {
        u += " ?-";
        u += o.name;
        u += ' ';
        if (o.words.empty()) u += o.values == 2 ? "X Y" : "N";
        for (std::size_t i = 0; i < o.words.size(); ++i) {
            if (i) u += '|';
            u += o.words[i];
        }
        u += '?';
    }
    return u;
}

template <template <std::size_t, class, class> class Op, std::size_t I, class C, std::size_t... J>
qb::Sig form(const std::string& name, const char* self, std::index_sequence<J...> seq) {
    std::string fmt(2 + seq.size(), 'o');
    fmt += ":" + name + " self name";
    for (std::size_t k = 0; k < seq.size(); ++k) fmt += " word";
    // (Option words and values are words: any word converts.)
    return qb::sig(fmt.c_str(), {self, text, as<J, const char*>("std::string_view")...}, Op<I, C, std::index_sequence<J...>>{});
}

// The signatures of one command: the file name, then 0 to `most` words.
template <template <std::size_t, class, class> class Op, std::size_t I, class C, std::size_t... K>
std::vector<qb::Sig> forms(const std::string& name, const char* self, std::size_t most, std::index_sequence<K...>) {
    std::vector<qb::Sig> sigs;
    auto add = [&](auto k) {
        constexpr std::size_t words = decltype(k)::value;
        if (words <= most) sigs.push_back(form<Op, I, C>(name, self, std::make_index_sequence<words>{}));
    };
    (add(std::integral_constant<std::size_t, K>{}), ...);
    return sigs;
}

template <std::size_t I, class C> void add_commands(std::vector<qb::Entry>& out, const char* cls) {
    const Format& f = quenz::formats()[I];
    const std::string self = std::string(cls) + " *", cself = std::string(cls) + " const *";
    const bool reads = std::is_same_v<C, bild16> ? f.read16 != nullptr : f.readfloat != nullptr;
    const bool writes = std::is_same_v<C, bild16> ? f.write16 != nullptr : f.writefloat != nullptr;
    const auto seq = std::make_index_sequence<max_words + 1>{};
    auto entry = [&](const std::string& name, std::vector<qb::Sig> sigs, std::span<const FormatOption> opts) {
        qb::Entry e = qb::with_usage(qb::over(name.c_str(), std::move(sigs)));
        const std::string u = usage(opts);
        for (qb::Sig& s : e.sigs) s.usage = u;
        out.push_back(std::move(e));
    };
    if (reads)
        entry(std::string(cls) + "_read_" + std::string(f.name),
              forms<Read, I, C>(std::string(cls) + "_read_" + std::string(f.name), self.c_str(),
                                words_of(f.read_options), seq),
              f.read_options);
    if (writes)
        entry(std::string(cls) + "_write_" + std::string(f.name),
              forms<Write, I, C>(std::string(cls) + "_write_" + std::string(f.name), cself.c_str(),
                                 words_of(f.write_options), seq),
              f.write_options);
}

template <std::size_t... I> std::vector<qb::Entry> generated(std::index_sequence<I...>) {
    std::vector<qb::Entry> out;
    auto one = [&](auto i) {
        constexpr std::size_t k = decltype(i)::value;
        const Format& f = quenz::formats()[k];
        if (!f.generated) return;
        if (words_of(f.read_options) > max_words || words_of(f.write_options) > max_words)
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
