// One record per file format, the one place each fact about a format is
// written: its name, file extensions, signatures, size bound, readers and
// writers per image class, options and listings. The library's
// identification by content, the Tcl commands of formats declared with
// options (and `quenz::formats`, through which quenz-view chooses readers,
// watches extensions and lists headers), the Python methods of those
// formats, the fuzz targets' reader lists and the bounds check all read
// these records.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class bild16;
class bildfloat;

namespace quenz {

enum class FileKind { unknown, his, pgm, gnuplot, png, tiff, fits, npy, raw };

// A format told by its first bytes.
struct Signature {
    std::string_view magic;
    // "a TIFF file"; empty for a format read_his does not refuse (a P5
    // file may be a HIS exposure whose header happens to start so).
    std::string_view what;
};

// An option of a format's reader or writer: `-type u16` in Tcl, the
// keyword `type='u16'` in Python.
struct FormatOption {
    std::string_view name;                    // without the dash
    std::span<const std::string_view> words;  // the words it takes; empty: a whole number >= 0
    std::string_view doc;                     // what it means, for the listings
    std::uint64_t low = 0;                    // a number's lowest useful value (an HDU's is 1)
    unsigned values = 1;                      // the numbers it takes (-roi X Y: 2)
};

// The options given to one call, checked against the format's list.
class FormatOptions {
public:
    FormatOptions() = default;
    // Checks each {name, value} against `allowed` (a name, then its
    // value; an option of two numbers has them in one value, "X Y");
    // throws "bad option "-x": must be -a, -b or -c", or "bad value "v"
    // for -name: must be a or b" / "... a whole number".
    FormatOptions(std::span<const FormatOption> allowed, std::vector<std::pair<std::string, std::string>> given);
    std::optional<std::string_view> word(std::string_view name) const;
    std::optional<std::uint64_t> number(std::string_view name) const;
    std::optional<std::vector<std::uint64_t>> numbers(std::string_view name) const;

private:
    std::vector<std::pair<std::string, std::string>> given_;
};

// The options of a call given as words, "-name value ..." (an option of
// two numbers takes two words): a word that is no option is refused as
// above, an option without its value with "value for "-name" missing".
FormatOptions options_from_words(std::span<const FormatOption> allowed, std::span<const std::string_view> words);

// "-type, -order or -offset": the options' names for a message.
std::string option_choices(std::span<const FormatOption> allowed);

template <class Img> using FormatReader = void (*)(const char* name, Img& img, const FormatOptions& opt);
template <class Img> using FormatWriter = void (*)(const char* name, const Img& img, const FormatOptions& opt);

struct Format {
    FileKind kind;
    std::string_view name;   // "tiff": the commands are <class>_read_<name>, <class>_write_<name>
    std::string_view title;  // "TIFF"
    std::span<const std::string_view> extensions;  // lower case, with the dot
    std::span<const Signature> signatures;         // none: not told by content
    // The most a reader reads of a file of this format, in bytes (0: no
    // fixed bound; the reader bounds each piece by the file's own counts).
    std::uint64_t max_size;
    FormatReader<bild16> read16;        // null: no reader into a bild16
    FormatReader<bildfloat> readfloat;  // null: no reader into a bildfloat
    FormatWriter<bild16> write16;
    FormatWriter<bildfloat> writefloat;
    // quenz-view's live view follows files of this format that appear in a
    // watched directory (by their extension).
    bool watched;
    // The commands of this format are made from the record (their options
    // below); false for the formats whose commands came first and keep
    // forms of their own (a page or HDU number, write_png's range).
    bool generated;
    std::span<const FormatOption> read_options;
    std::span<const FormatOption> write_options;
    // What quenz-view lists for a file of this format: its frames
    // ("tiff_pages", "fits_hdus") and its header ("tiff_tags",
    // "fits_cards"); empty where there is none.
    std::string_view frames;
    std::string_view header;
    // The listings over a file, for the fuzz targets and the bounds check
    // (null where there are none); errors are thrown as by the commands.
    void (*walk)(const char* name);
    // The method that writes a file of this format from a bild16, where it
    // is not write_<name> (write_pgm16, write_png16: the data, not a picture).
    std::string_view writer16 = {};
};

// Every format, in the order identification tries their signatures.
std::span<const Format> formats();
inline constexpr std::size_t format_count = 8;
const Format* find_format(std::string_view name);
const Format& format_of(FileKind kind);

// The kind's name as scripts see it ("his", "tiff", ...; "unknown").
const char* kind_name(FileKind kind);

}  // namespace quenz
