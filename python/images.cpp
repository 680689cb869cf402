// The image classes bild16, bildfloat and bildcomplex: constructors as the
// Tcl class commands take them, pixels, numpy views, operators, files and
// filters. Each method calls the library function its Tcl command calls,
// with the same arguments, so results are the same bits.
#include <pybind11/stl/filesystem.h>

#include <unistd.h>

#include <algorithm>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

#include "common.h"
#include "imgclass/core/bild16.h"
#include "imgclass/fourier/bildcomplex.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/curves/eichkurve.h"
#include "imgclass/formats/fits.h"
#include "imgclass/formats/format.h"
#include "imgclass/formats/npy.h"
#include "imgclass/core/pixeldata.h"
#include "imgclass/formats/png_file.h"
#include "imgclass/formats/region.h"
#include "imgclass/analysis/stats.h"
#include "imgclass/formats/tiff.h"
#include "render/colormap.h"
#include "render/picture.h"

namespace quenzpy {
namespace {

using Path = std::filesystem::path;
using release = py::call_guard<py::gil_scoped_release>;
constexpr auto self_ref = py::return_value_policy::reference;

// The pixel type as Python and numpy see it.
template <class I> struct Pixel;
template <> struct Pixel<bild16> {
    using py_t = unsigned short;
    static constexpr const char *cls = "bild16", *base = "bild16_base", *dtype = "uint16";
    static unsigned short to_py(unsigned short v) { return v; }
    static unsigned short from_py(unsigned short v) { return v; }
};
template <> struct Pixel<bildfloat> {
    using py_t = float;
    static constexpr const char *cls = "bildfloat", *base = "bildfloat_base", *dtype = "float32";
    static float to_py(float v) { return v; }
    static float from_py(float v) { return v; }
};
template <> struct Pixel<bildcomplex> {
    using py_t = std::complex<float>;
    static constexpr const char *cls = "bildcomplex", *base = "bildcomplex_base", *dtype = "complex64";
    static std::complex<float> to_py(COMPLEX v) { return {v.re, v.im}; }
    static COMPLEX from_py(std::complex<float> v) { return {v.real(), v.imag()}; }
};
static_assert(sizeof(COMPLEX) == sizeof(std::complex<float>));

std::string shape_text(const py::array& a) {
    std::string s = "(";
    for (py::ssize_t k = 0; k < a.ndim(); ++k) {
        if (k) s += ", ";
        s += std::to_string(a.shape(k));
    }
    return s + (a.ndim() == 1 ? ",)" : ")");
}

// Copies a (512, 512) array of exactly the image's dtype; anything else is
// refused, naming what was given.
template <class I> void copy_array(I& img, const py::array& a) {
    using T = typename Pixel<I>::py_t;
    const py::dtype want = py::dtype::of<T>();
    if (a.ndim() != 2 || a.shape(0) != I::SIZEY || a.shape(1) != I::SIZEX || !a.dtype().equal(want))
        throw py::type_error(std::string(Pixel<I>::cls) + ": a (512, 512) array of " + Pixel<I>::dtype +
                             " expected, not a " + shape_text(a) + " array of " +
                             std::string(py::str(a.dtype())));
    auto c = py::array_t<T, py::array::c_style | py::array::forcecast>::ensure(a);
    // (memmove: the array may be a view of this very image)
    std::memmove(static_cast<void*>(img.data()), c.data(), I::npixels() * sizeof(T));
}

// What every image class has: sizes, pixels, views, assignment, bytes.
template <class I, class C> void common(C& c) {
    using P = Pixel<I>;
    using T = typename P::py_t;
    c.attr("SIZEX") = I::SIZEX;
    c.attr("SIZEY") = I::SIZEY;
    c.def(py::init([](const py::array& a) {
              auto img = std::make_unique<I>();
              copy_array(*img, a);
              return img;
          }),
          py::arg("array"), "A copy of a (512, 512) numpy array of the pixel type.");
    c.def_buffer([](I& img) {
        return py::buffer_info(static_cast<void*>(img.data()), sizeof(T), py::format_descriptor<T>::format(), 2,
                               {py::ssize_t(I::SIZEY), py::ssize_t(I::SIZEX)},
                               {py::ssize_t(I::SIZEX * sizeof(T)), py::ssize_t(sizeof(T))}, false);
    });
    static const std::string get_what = std::string(P::base) + "_get";
    static const std::string set_what = std::string(P::base) + "_set";
    auto get = [](const I& img, long y, long x) {
        return index_checked([&] {
            I::check_yx(get_what.c_str(), y, x);
            return P::to_py(img.get(int(y), int(x)));
        });
    };
    auto set = [](I& img, long y, long x, T v) {
        index_checked([&] {
            I::check_yx(set_what.c_str(), y, x);
            static_cast<imgbase<I::SIZEX, I::SIZEY, typename I::data_t>&>(img).set(int(y), int(x), P::from_py(v));
        });
    };
    c.def("get", get, py::arg("y"), py::arg("x"), "get(y, x): the pixel at row y, column x.");
    c.def("set", set, py::arg("y"), py::arg("x"), py::arg("val"), "set(y, x, val): sets the pixel at row y, column x.");
    c.def("__getitem__", [get](const I& img, std::pair<long, long> yx) { return get(img, yx.first, yx.second); });
    c.def("__setitem__",
          [set](I& img, std::pair<long, long> yx, T v) { set(img, yx.first, yx.second, v); });
    c.def("__len__", [](const I&) { return I::SIZEY; });
    c.def(
           "assign", [](I& img, const I& other) -> I& { return img = other; }, self_ref, py::arg("other"),
           "assign(other): copies another image's pixels (Tcl's =).");
    static const std::string setdata_what = std::string(P::cls) + "_setdata";
    c.def(
           "data",
           [](const I& img) {
               std::string b(quenz::image_bytes<typename I::data_t>, '\0');
               quenz::to_bytes(img, reinterpret_cast<unsigned char*>(b.data()));
               return py::bytes(b);
           },
           "data(): the pixels as little-endian bytes, rows first.");
    c.def(
           "setdata",
           [](I& img, py::bytes b) -> I& {
               std::string_view v = b;
               quenz::from_bytes(img, reinterpret_cast<const unsigned char*>(v.data()), v.size(),
                                 setdata_what.c_str());
               return img;
           },
           self_ref, py::arg("bytes"), "setdata(bytes): every pixel from little-endian bytes.");
    c.def("copy", [](const I& img) { return std::make_unique<I>(img); }, "copy(): a new image with these pixels.");
}

// assign(array), registered after the numeric forms: a number that is no
// pixel value never reaches the array conversion (which would need numpy).
template <class I, class C> void assign_array(C& c) {
    c.def(
           "assign",
           [](I& img, const py::array& a) -> I& {
               copy_array(img, a);
               return img;
           },
           self_ref, py::arg("array"), "assign(array): copies a (512, 512) array of the pixel type.");
}

// The in-place operators: the image operand, then the value.
template <class I, class V, class C> void operators(C& c) {
    c.def("assign", [](I& a, V v) -> I& { return a = v; }, self_ref, py::arg("value"),
          "assign(value): every pixel to value (Tcl's =).");
    // A Python number the form above does not take at once: a whole number
    // into floats (as that form converts it), anything else outside the
    // pixel type refused in its own words, not with the overloads' list.
    const auto refuse = [](const py::handle& v) {
        throw py::value_error(std::string(Pixel<I>::cls) + ".assign: " + std::string(py::repr(v)) +
                              " is not a pixel value (" +
                              (std::is_same_v<V, float> ? "a float" : "a whole number 0..65535") + ")");
    };
    c.def(
        "assign",
        [refuse](I& a, const py::int_& v) -> I& {
            if constexpr (std::is_same_v<V, float>) {
                const double d = PyLong_AsDouble(v.ptr());
                if (d == -1.0 && PyErr_Occurred()) {
                    PyErr_Clear();
                    refuse(v);
                }
                return a = float(d);
            } else {
                refuse(v);
                return a;
            }
        },
        self_ref, py::arg("value"));
    c.def("assign", [refuse](I& a, const py::float_& v) -> I& { refuse(v); return a; }, self_ref, py::arg("value"));
    c.def("__iadd__", [](I& a, const I& b) -> I& { return a += b; }, self_ref, py::is_operator());
    c.def("__iadd__", [](I& a, V v) -> I& { return a += v; }, self_ref, py::is_operator());
    c.def("__isub__", [](I& a, const I& b) -> I& { return a -= b; }, self_ref, py::is_operator());
    c.def("__isub__", [](I& a, V v) -> I& { return a -= v; }, self_ref, py::is_operator());
    c.def("__imul__", [](I& a, const I& b) -> I& { return a *= b; }, self_ref, py::is_operator());
    c.def("__imul__", [](I& a, V v) -> I& { return a *= v; }, self_ref, py::is_operator());
    c.def("__itruediv__", [](I& a, const I& b) -> I& { return a /= b; }, self_ref, py::is_operator());
    c.def("__itruediv__", [](I& a, V v) -> I& { return a /= v; }, self_ref, py::is_operator());
}

// A keyword's value as the option's words, by what the option takes: a
// word (text), or whole numbers: any integer Python has (int, numpy's
// integers: operator.index), never a bool or text, and for an option of
// several numbers (roi=(X, Y)) a sequence of them.
std::string whole_word(const py::handle& v, const std::string& key, const char* example) {
    if (PyBool_Check(v.ptr()) || py::isinstance<py::str>(v) || !PyIndex_Check(v.ptr()))
        throw py::type_error(key + "= expects a whole number, e.g. " + example + ", not " +
                             std::string(py::str(py::type::handle_of(v).attr("__name__"))));
    // (Python's decimal text: any size, checked by the option's own parser)
    return py::str(py::reinterpret_steal<py::object>(PyNumber_Index(v.ptr())));
}

std::string option_value(const py::handle& v, const quenz::FormatOption& o) {
    const std::string key(o.name);
    if (!o.words.empty()) {
        if (!py::isinstance<py::str>(v))
            throw py::type_error(key + "= expects a word, e.g. " + key + "='" + std::string(o.words[0]) + "'");
        return py::str(v);
    }
    const std::string example = o.values == 1 ? key + "=2" : key + "=(X, Y)";
    if (o.values == 1) return whole_word(v, key, example.c_str());
    if (py::isinstance<py::str>(v) || !py::hasattr(v, "__iter__") || py::len(v) != o.values)
        throw py::type_error(key + "= expects " + std::to_string(o.values) + " whole numbers, e.g. " + example);
    std::string w;
    for (const py::handle& e : v) {
        if (!w.empty()) w += ' ';
        w += whole_word(e, key, example.c_str());
    }
    return w;
}

const quenz::FormatOption& option_named(std::span<const quenz::FormatOption> allowed, std::string_view name) {
    for (const quenz::FormatOption& o : allowed)
        if (o.name == name) return o;
    throw std::logic_error("no option " + std::string(name));
}

// bin=N and roi=(X, Y) of a reader, checked as Tcl's -bin and -roi are.
quenz::Region region_kw(const py::object& bin, const py::object& roi) {
    std::vector<std::pair<std::string, std::string>> given;
    if (!bin.is_none()) given.emplace_back("bin", option_value(bin, option_named(quenz::region_options(), "bin")));
    if (!roi.is_none()) given.emplace_back("roi", option_value(roi, option_named(quenz::region_options(), "roi")));
    return quenz::region_of(quenz::FormatOptions(quenz::region_options(), std::move(given)));
}

// The options of one call from its keywords, checked against the record:
// a keyword it does not know is a TypeError, as for any Python function.
quenz::FormatOptions record_options(const std::string& method, std::span<const quenz::FormatOption> allowed,
                                    const py::kwargs& kw) {
    std::vector<std::pair<std::string, std::string>> given;
    for (auto [key, value] : kw) {
        std::string k = py::str(key);
        const auto it = std::find_if(allowed.begin(), allowed.end(),
                                     [&](const quenz::FormatOption& o) { return o.name == k; });
        if (it == allowed.end())
            throw py::type_error(method + "() got an unexpected keyword argument '" + k + "'");
        if (value.is_none()) continue;
        given.emplace_back(k, option_value(value, *it));
    }
    return quenz::FormatOptions(allowed, std::move(given));
}

// "read_raw(name, type=..., order=..., offset=...): a raw file." from the record.
std::string record_doc(const std::string& method, const quenz::Format& f, std::span<const quenz::FormatOption> opts) {
    std::string d = method + "(name";
    for (const quenz::FormatOption& o : opts) {
        d += ", ";
        d += o.name;
        d += "=None";
    }
    d += "): a ";
    d += f.title;
    d += " file.";
    for (const quenz::FormatOption& o : opts) {
        d += "\n  ";
        d += o.name;
        d += ": ";
        d += o.doc;
    }
    return d;
}

// The methods of the formats whose commands are made from their records
// (imgclass/formats/format.h): read_<name> and write_<name>, with the
// record's options as keywords.
template <class I, class C> void record_formats(C& c) {
    for (const quenz::Format& f : quenz::formats()) {
        if (!f.generated) continue;
        const quenz::Format* fp = &f;
        const auto reader = [] (const quenz::Format& r) {
            if constexpr (std::is_same_v<I, bild16>) return r.read16; else return r.readfloat;
        }(f);
        const auto writer = [] (const quenz::Format& r) {
            if constexpr (std::is_same_v<I, bild16>) return r.write16; else return r.writefloat;
        }(f);
        if (reader) {
            const std::string m = "read_" + std::string(f.name);
            c.def(m.c_str(),
                  [fp, m, reader](I& b, const Path& name, const py::kwargs& kw) -> I& {
                      const quenz::FormatOptions o = record_options(m, fp->read_options, kw);
                      py::gil_scoped_release r;
                      reader(name.c_str(), b, o);
                      return b;
                  },
                  self_ref, py::arg("name"), record_doc(m, f, f.read_options).c_str());
        }
        if (writer) {
            const std::string m = "write_" + std::string(f.name);
            c.def(m.c_str(),
                  [fp, m, writer](const I& b, const Path& name, const py::kwargs& kw) {
                      const quenz::FormatOptions o = record_options(m, fp->write_options, kw);
                      py::gil_scoped_release r;
                      writer(name.c_str(), b, o);
                  },
                  py::arg("name"), record_doc(m, f, f.write_options).c_str());
        }
    }
}

// TIFF, FITS, NumPy and PNG files of bild16 and bildfloat; Low is the type
// of a picture's range.
template <class I, class Low, class C> void formats(C& c) {
    c.def(
           "write_tiff",
           [](const I& b, const Path& name, std::optional<std::string> compress) {
               if (compress)
                   quenz::write_tiff(name.c_str(), b, quenz::parse_tiff_compression(*compress));
               else
                   quenz::write_tiff(name.c_str(), b);
           },
           release(), py::arg("name"), py::arg("compress") = py::none(),
           "write_tiff(name, compress=None): one TIFF page; compress 'none', 'deflate' or 'lzw'.");
    c.def(
           "read_tiff",
           [](I& b, const Path& name, std::optional<int> page, const py::object& bin, const py::object& roi) -> I& {
               const quenz::Region r = region_kw(bin, roi);
               py::gil_scoped_release g;
               quenz::read_tiff(name.c_str(), b, page.value_or(0), r);
               return b;
           },
           self_ref, py::arg("name"), py::arg("page") = py::none(), py::kw_only(), py::arg("bin") = py::none(),
           py::arg("roi") = py::none(),
           "read_tiff(name, page=0, *, bin=None, roi=None): page `page` of a grey TIFF file; bin=N takes the "
           "mean of N x N blocks, roi=(X, Y) the 512N x 512N region from column X, row Y.");
    c.def("write_fits", [](const I& b, const Path& name) { quenz::write_fits(name.c_str(), b); }, release(),
          py::arg("name"), "write_fits(name): a FITS file (bottom row first, as FITS has it).");
    c.def(
           "read_fits",
           [](I& b, const Path& name, std::optional<int> hdu, const py::object& bin, const py::object& roi) -> I& {
               const quenz::Region r = region_kw(bin, roi);
               py::gil_scoped_release g;
               quenz::read_fits(name.c_str(), b, hdu.value_or(1), r);
               return b;
           },
           self_ref, py::arg("name"), py::arg("hdu") = py::none(), py::kw_only(), py::arg("bin") = py::none(),
           py::arg("roi") = py::none(),
           "read_fits(name, hdu=1, *, bin=None, roi=None): the image of one HDU of a FITS file; bin and roi as "
           "read_tiff's.");
    c.def(
           "read_fits_plane",
           [](I& b, const Path& name, int hdu, long long plane, const py::object& bin, const py::object& roi) -> I& {
               const quenz::Region r = region_kw(bin, roi);
               py::gil_scoped_release g;
               quenz::read_fits_plane(name.c_str(), b, hdu, plane, r);
               return b;
           },
           self_ref, py::arg("name"), py::arg("hdu"), py::arg("plane"), py::kw_only(), py::arg("bin") = py::none(),
           py::arg("roi") = py::none(),
           "read_fits_plane(name, hdu, plane, *, bin=None, roi=None): plane `plane` (from 0) of the cube in HDU "
           "`hdu`; bin and roi as read_tiff's.");
    c.def("write_npy", [](const I& b, const Path& name) { quenz::write_npy(name.c_str(), b); }, release(),
          py::arg("name"), "write_npy(name): a NumPy .npy file.");
    c.def(
           "read_npy",
           [](I& b, const Path& name, const py::object& bin, const py::object& roi) -> I& {
               const quenz::Region r = region_kw(bin, roi);
               py::gil_scoped_release g;
               quenz::read_npy(name.c_str(), b, r);
               return b;
           },
           self_ref, py::arg("name"), py::kw_only(), py::arg("bin") = py::none(), py::arg("roi") = py::none(),
           "read_npy(name, *, bin=None, roi=None): a NumPy .npy file; bin and roi as read_tiff's.");
    c.def(
           "write_png",
           [](const I& b, const Path& name, std::optional<Low> low, std::optional<Low> high) {
               if (low.has_value() != high.has_value())
                   throw py::type_error("write_png: give both low and high, or neither");
               if (low)
                   quenz::write_png(name.c_str(), b, *low, *high);
               else
                   quenz::write_png(name.c_str(), b);
           },
           release(), py::arg("name"), py::arg("low") = py::none(), py::arg("high") = py::none(),
           "write_png(name, low=None, high=None): an 8-bit grey picture, as getimage maps "
           "(or getimage_contrast over low..high).");
    c.def(
           "to_png",
           [](const I& b, const Path& name, std::optional<Low> low, std::optional<Low> high, const std::string& cmap,
              std::optional<std::string> colormap) {
               const std::string map = colormap ? *colormap : cmap;
               if (low.has_value() != high.has_value())
                   throw py::type_error("to_png: give both low and high, or neither");
               const quenz::colormap m = quenz::colormap_named(map);
               py::gil_scoped_release r;
               if (m == quenz::colormap::grey) {
                   // The grey picture of write_png, byte for byte.
                   if (low)
                       quenz::write_png(name.c_str(), b, *low, *high);
                   else
                       quenz::write_png(name.c_str(), b);
                   return;
               }
               const auto range = low ? std::array<double, 2>{double(*low), double(*high)} : quenz::view_auto_range(b);
               quenz::write_png_view(name.c_str(), b, range[0], range[1], m);
           },
           py::arg("name"), py::arg("low") = py::none(), py::arg("high") = py::none(), py::arg("cmap") = "grey",
           py::arg("colormap") = py::none(),
           "to_png(name, low=None, high=None, cmap='grey'): 'grey' is write_png's picture; 'invgrey', "
           "'viridis' and 'heat' the RGB picture quenz-view shows, over low..high or the viewer's automatic "
           "range (colormap= is the older name of cmap=).");
    c.def(
           "_repr_png_",
           [](const I& b) {
               // What quenz-view shows at first: its automatic range (the
               // 0.5 and 99.5 percentiles), grey.
               std::string bytes;
               {
                   py::gil_scoped_release r;
                   const auto range = quenz::view_auto_range(b);
                   char tmpl[] = "/tmp/quenz-repr-XXXXXX.png";
                   int fd = mkstemps(tmpl, 4);
                   if (fd < 0) throw quenz::Error("Cannot write to " + std::string(tmpl));
                   close(fd);
                   try {
                       quenz::write_png_view(tmpl, b, range[0], range[1], quenz::colormap::grey);
                       FILE* f = std::fopen(tmpl, "rb");
                       char buf[65536];
                       std::size_t n;
                       while (f && (n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
                       if (f) std::fclose(f);
                   } catch (...) {
                       std::remove(tmpl);
                       throw;
                   }
                   std::remove(tmpl);
               }
               return py::bytes(bytes);
           },
           "_repr_png_(): the picture quenz-view shows at first (its automatic range, grey), for Jupyter.");
}

}  // namespace

void declare_images(py::module_& m) {
    py::class_<bild16>(m, "bild16", py::buffer_protocol(),
                       "The raw camera exposure: 512 x 512 16-bit counts and a HIS header.");
    py::class_<bildfloat>(m, "bildfloat", py::buffer_protocol(),
                          "The working image: 512 x 512 single-precision floats.");
    py::class_<bildcomplex>(m, "bildcomplex", py::buffer_protocol(),
                            "The complex image: 512 x 512 (re, im) float pairs, for the FFT.");
}

void add_images(py::module_& m) {
    auto b16 = declared<bild16>(m, "bild16");
    b16.def(py::init<>(), "bild16(): a new image, every count 0.");
    b16.def(py::init<const bild16&>(), py::arg("bmp"), "bild16(other): a copy (pixels and header).");
    b16.def(py::init([](const Path& name) {
                py::gil_scoped_release r;
                return std::make_unique<bild16>(name.c_str());
            }),
            py::arg("fname"), "bild16(fname): reads a HIS file.");
    common<bild16>(b16);
    operators<bild16, unsigned short>(b16);
    assign_array<bild16>(b16);
    b16.def(
           "read_his",
           [](bild16& b, const Path& name) -> bild16& {
               // Into a fresh image, then copied: the pixel block stays
               // where views and other threads' kernels see it.
               bild16 tmp(name.c_str());
               b = tmp;
               return b;
           },
           release(), self_ref, py::arg("name"), "read_his(name): reads a HIS file (pixels and header).");
    b16.def("write_his", [](const bild16& b, const Path& name) { b.write_his(name.c_str()); }, release(),
            py::arg("name"), "write_his(name): writes a HIS file.");
    b16.def(
           "fromfloat",
           [](bild16& b, const bildfloat& f, std::optional<float> max) -> bild16& {
               if (max)
                   b.fromfloat(f, *max);
               else
                   b.fromfloat(f);
               return b;
           },
           release(), self_ref, py::arg("bf"), py::arg("max") = py::none(),
           "fromfloat(bf, max=1.0): counts from a float image, max mapping to 65535.");
    b16.def("drawx", &bild16::drawx, self_ref, py::arg("x"), py::arg("y1"), py::arg("y2"),
            "drawx(x, y1, y2): inverts column x from row y1 to y2.");
    b16.def("drawy", &bild16::drawy, self_ref, py::arg("y"), py::arg("x1"), py::arg("x2"),
            "drawy(y, x1, x2): inverts row y from column x1 to x2.");
    b16.def("kreuz", &bild16::kreuz, self_ref, py::arg("x"), py::arg("y"),
            "kreuz(x, y): inverts a cross centred on column x, row y.");
    b16.def("write_pgm16", [](const bild16& b, const Path& n) { b.write_pgm16(n.c_str()); }, release(),
            py::arg("name"), "write_pgm16(name): a 16-bit PGM file.");
    b16.def("write_pgm8", [](const bild16& b, const Path& n) { b.write_pgm8(n.c_str()); }, release(),
            py::arg("name"), "write_pgm8(name): an 8-bit PGM file (the high bytes).");
    b16.def(
           "write_pgm8_bounds",
           [](const bild16& b, const Path& n, unsigned short low, unsigned short high) {
               b.write_pgm8_bounds(n.c_str(), low, high);
           },
           release(), py::arg("name"), py::arg("low"), py::arg("high"),
           "write_pgm8_bounds(name, low, high): an 8-bit PGM file over low..high.");
    b16.def(
           "read_pgm", [](bild16& b, const Path& n) -> bild16& { return b.read_pgm(n.c_str()); }, release(),
           self_ref, py::arg("name"), "read_pgm(name): reads an 8- or 16-bit PGM file.");
    formats<bild16, int>(b16);
    record_formats<bild16>(b16);
    b16.def("write_png16", [](const bild16& b, const Path& n) { quenz::write_png16(n.c_str(), b); }, release(),
            py::arg("name"), "write_png16(name): the counts as a 16-bit grey PNG file.");
    b16.def(
           "read_png",
           [](bild16& b, const Path& n, const py::object& bin, const py::object& roi) -> bild16& {
               const quenz::Region r = region_kw(bin, roi);
               py::gil_scoped_release g;
               quenz::read_png(n.c_str(), b, r);
               return b;
           },
           self_ref, py::arg("name"), py::kw_only(), py::arg("bin") = py::none(), py::arg("roi") = py::none(),
           "read_png(name, *, bin=None, roi=None): an 8- or 16-bit grey PNG file; bin and roi as read_tiff's.");

    auto bf = declared<bildfloat>(m, "bildfloat");
    bf.def(py::init<>(), "bildfloat(): a new image, every pixel 0.");
    bf.def(py::init<const bild16&>(), release(), py::arg("aufnahme"),
           "bildfloat(raw): counts / 65535 of a bild16.");
    bf.def(py::init<const bildfloat&>(), py::arg("bfl"), "bildfloat(other): a copy.");
    bf.def(py::init([](const Path& name) {
               py::gil_scoped_release r;
               return std::make_unique<bildfloat>(name.c_str());
           }),
           py::arg("name"), "bildfloat(name): reads a gnuplot binary matrix file.");
    common<bildfloat>(bf);
    operators<bildfloat, float>(bf);
    assign_array<bildfloat>(bf);
    bf.def("write_gnuplot", [](const bildfloat& b, const Path& n) { b.write_gnuplot(n.c_str()); }, release(),
           py::arg("name"), "write_gnuplot(name): a gnuplot binary matrix file.");
    bf.def(
           "read_gnuplot", [](bildfloat& b, const Path& n) -> bildfloat& { return b.read_gnuplot(n.c_str()); },
           release(), self_ref, py::arg("name"), "read_gnuplot(name): reads a gnuplot binary matrix file.");
    bf.def("from_bild16", &bildfloat::from_bild16, release(), self_ref, py::arg("aufnahme"),
           "from_bild16(raw): counts / 65535 of a bild16.");
    bf.def("apply_eichkurve", &bildfloat::apply_eichkurve, release(), self_ref, py::arg("ek"),
           "apply_eichkurve(ek): every pixel through the calibration curve's inverse table.");
    bf.def(
           "convolve",
           [](const bildfloat& b, const std::vector<float>& k, int sx, int sy) {
               return std::unique_ptr<bildfloat>(b.convolve(k, sx, sy, true));
           },
           release(), py::arg("kernel"), py::arg("sx"), py::arg("sy"),
           "convolve(kernel, sx, sy): a new image, convolved with the normalised sx x sy kernel.");
    bf.def(
           "convolve_unnorm",
           [](const bildfloat& b, const std::vector<float>& k, int sx, int sy) {
               return std::unique_ptr<bildfloat>(b.convolve_unnorm(k, sx, sy));
           },
           release(), py::arg("kernel"), py::arg("sx"), py::arg("sy"),
           "convolve_unnorm(kernel, sx, sy): a new image, convolved with the kernel as given.");
    bf.def("gaussian", &bildfloat::gaussian, release(), self_ref, py::arg("radius"),
           "gaussian(radius): Gaussian smoothing in place.");
    bf.def("badpix_correct", &bildfloat::badpix_correct, release(), self_ref, py::arg("bpmap"),
           py::arg("threshold") = 32767,
           "badpix_correct(bpmap, threshold=32767): repairs the pixels the map marks above threshold.");
    bf.def(
           "polyfit_correct",
           [](bildfloat& b, const QRfitBox& q) -> bildfloat& {
               std::shared_lock hold(q.lock);
               return b.polyfit_correct(q);
           },
           release(), self_ref, py::arg("korrektor"),
           "polyfit_correct(korrektor): every pixel through its QRfit polynomial.");
    formats<bildfloat, float>(bf);
    record_formats<bildfloat>(bf);

    auto bc = declared<bildcomplex>(m, "bildcomplex");
    bc.def(py::init<>(), "bildcomplex(): every pixel (0, 0).");
    bc.def(py::init<const bildfloat&>(), py::arg("realvalue"), "bildcomplex(real): imaginary parts 0.");
    bc.def(py::init<const bildfloat&, const bildfloat&>(), py::arg("real"), py::arg("imag"),
           "bildcomplex(real, imag): from two float images.");
    common<bildcomplex>(bc);
    assign_array<bildcomplex>(bc);
    bc.def(
           "set",
           [](bildcomplex& c, int y, int x, float re, float im) {
               index_checked([&] { c.set(y, x, re, im); });
           },
           py::arg("y"), py::arg("x"), py::arg("real"), py::arg("imag"),
           "set(y, x, real, imag): sets one pixel.");
    bc.def("decompose", &bildcomplex::decompose, release(), py::arg("real"), py::arg("imag"),
           "decompose(real, imag): the parts into two float images.");
    bc.def("norm", &bildcomplex::norm, release(), self_ref, py::arg("ret"),
           "norm(ret): re^2 + im^2 per pixel into ret; returns ret.");
    bc.def("FFT_forward", &bildcomplex::FFT_forward, release(), self_ref,
           "FFT_forward(): unscaled forward transform in place, zero frequency at (256, 256).");
    bc.def("FFT_backward", &bildcomplex::FFT_backward, release(), self_ref,
           "FFT_backward(): the inverse transform in place, scaled by 1/262144.");
    bc.def("Hamming_window", &bildcomplex::Hamming_window, release(), self_ref,
           py::arg("width") = bildcomplex::window_width, py::arg("xm") = bildcomplex::window_centre,
           py::arg("ym") = bildcomplex::window_centre,
           "Hamming_window(width=220, xm=256, ym=256): multiplies by the squared Hamming profile.");
    bc.def("Hamming_unwindow", &bildcomplex::Hamming_unwindow, release(), self_ref,
           py::arg("width") = bildcomplex::window_width, py::arg("xm") = bildcomplex::window_centre,
           py::arg("ym") = bildcomplex::window_centre,
           "Hamming_unwindow(width=220, xm=256, ym=256): divides by the squared Hamming profile.");
}

}  // namespace quenzpy
