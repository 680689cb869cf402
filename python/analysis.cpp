// Calibration curves, QRfit, the peak and cell analyses, vec2d and the
// measurements, and the module itself: its errors, constants and console.
#include <pybind11/iostream.h>
#include <pybind11/stl/filesystem.h>

#include <filesystem>
#include <mutex>
#include <optional>

#include "common.h"
#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/curves/exp4kurve.h"
#include "imgclass/curves/expkurve.h"
#include "imgclass/analysis/parabelzentrum.h"
#include "imgclass/analysis/stats.h"
#include "imgclass/analysis/surface.h"
#include "imgclass/curves/tablekurve.h"
#include "imgclass/core/vec2d.h"
#include "imgclass/analysis/voronoi.h"
#include "render/render.h"

namespace quenzpy {
namespace {

using Path = std::filesystem::path;
using release = py::call_guard<py::gil_scoped_release>;
constexpr auto self_ref = py::return_value_policy::reference;

// imgstats' dict, in its key order; counts' min and max are ints.
template <class T> py::dict stats_dict(const quenz::image_stats<T>& s) {
    py::dict d;
    d["n"] = s.n;
    if constexpr (std::is_integral_v<T>) {
        d["min"] = s.min;
        d["max"] = s.max;
    } else {
        d["min"] = quenz::positive_nan(double(s.min));
        d["max"] = quenz::positive_nan(double(s.max));
    }
    d["sum"] = s.sum;
    d["mean"] = s.mean;
    d["std"] = s.std;
    d["median"] = s.median;
    d["nan"] = s.nan;
    return d;
}

template <class I> void measurements(py::module_& m) {
    m.def(
           "imgstats",
           [](const I& b, std::optional<std::array<int, 4>> r) {
               quenz::image_stats<typename I::data_t> s;
               {
                   py::gil_scoped_release g;
                   s = r ? quenz::imgstats(b, quenz::checked_rect("imgstats", (*r)[0], (*r)[1], (*r)[2], (*r)[3]))
                         : quenz::imgstats(b);
               }
               return stats_dict(s);
           },
           py::arg("img"), py::arg("rect") = py::none(),
           "imgstats(img, rect=None): dict n min max sum mean std median nan, over the image or the "
           "rectangle (x1, y1, x2, y2).");
    // The rectangle as Tcl takes it, and profile and getminmax here: its
    // corners as four arguments.
    m.def(
           "imgstats",
           [](const I& b, int x1, int y1, int x2, int y2) {
               quenz::image_stats<typename I::data_t> s;
               {
                   py::gil_scoped_release g;
                   s = quenz::imgstats(b, quenz::checked_rect("imgstats", x1, y1, x2, y2));
               }
               return stats_dict(s);
           },
           py::arg("img"), py::arg("x1"), py::arg("y1"), py::arg("x2"), py::arg("y2"),
           "imgstats(img, x1, y1, x2, y2): the same over the rectangle.");
    m.def(
           "histogram",
           [](const I& b, int nbins, double low, double high, std::optional<std::array<int, 4>> r) {
               std::vector<std::uint32_t> h;
               {
                   py::gil_scoped_release g;
                   const quenz::bin_rule rule("histogram", nbins, low, high);
                   h = r ? quenz::histogram(b, rule,
                                            quenz::checked_rect("histogram", (*r)[0], (*r)[1], (*r)[2], (*r)[3]))
                         : quenz::histogram(b, rule);
               }
               return py::array_t<std::uint32_t>(py::ssize_t(h.size()), h.data());
           },
           py::arg("img"), py::arg("nbins"), py::arg("low"), py::arg("high"), py::arg("rect") = py::none(),
           "histogram(img, nbins, low, high, rect=None): counts of nbins equal bins (numpy's rule), "
           "a uint32 array.");
    m.def(
           "histogram",
           [](const I& b, int nbins, double low, double high, int x1, int y1, int x2, int y2) {
               std::vector<std::uint32_t> h;
               {
                   py::gil_scoped_release g;
                   const quenz::bin_rule rule("histogram", nbins, low, high);
                   h = quenz::histogram(b, rule, quenz::checked_rect("histogram", x1, y1, x2, y2));
               }
               return py::array_t<std::uint32_t>(py::ssize_t(h.size()), h.data());
           },
           py::arg("img"), py::arg("nbins"), py::arg("low"), py::arg("high"), py::arg("x1"), py::arg("y1"),
           py::arg("x2"), py::arg("y2"), "histogram(img, nbins, low, high, x1, y1, x2, y2): over the rectangle.");
    m.def(
           "profile",
           [](const I& b, double x1, double y1, double x2, double y2, std::optional<int> n) {
               auto v = n ? quenz::profile(b, x1, y1, x2, y2, *n) : quenz::profile(b, x1, y1, x2, y2);
               return py::array_t<double>(py::ssize_t(v.size()), v.data());
           },
           py::arg("img"), py::arg("x1"), py::arg("y1"), py::arg("x2"), py::arg("y2"), py::arg("n") = py::none(),
           "profile(img, x1, y1, x2, y2, n=None): bilinear samples from (x1, y1) to (x2, y2), a float64 array.");
    m.def(
           "getminmax",
           [](const I& b, int x1, int y1, int x2, int y2) {
               auto r = quenz::getminmax(b, x1, y1, x2, y2);
               return py::make_tuple(r.min, r.max);
           },
           py::arg("img"), py::arg("x1"), py::arg("y1"), py::arg("x2"), py::arg("y2"),
           "getminmax(img, x1, y1, x2, y2): (min, max) over the rectangle.");
}

// Copies a sequence of bild16 into references held for the call: another
// thread may change the list while the fit runs without the lock.
struct RefImages {
    std::vector<py::object> held;
    std::vector<const bild16_base*> images;
    explicit RefImages(const py::sequence& seq) {
        for (py::handle h : seq) {
            if (!py::isinstance<bild16>(h))
                throw py::type_error("QRfit: the reference images must be bild16, not " +
                                     std::string(py::str(py::type::of(h).attr("__name__"))));
            held.push_back(py::reinterpret_borrow<py::object>(h));
            images.push_back(&py::cast<const bild16&>(h));
        }
    }
};

}  // namespace

void declare_analysis(py::module_& m) {
    py::class_<eichkurve>(m, "eichkurve", "A calibration curve and its inverse table (no constructor).");
    py::class_<expkurve, eichkurve>(m, "expkurve", "Three exponential terms, inverted over [0, 40].");
    py::class_<exp4kurve, eichkurve>(m, "exp4kurve", "Four exponential terms, inverted over [0, 35].");
    py::class_<tablekurve, eichkurve>(m, "tablekurve", "A curve known by its inverse table only.");
    py::class_<QRfitBox>(m, "QRfit", "The per-pixel polynomial calibration.");
    py::class_<Parabelzentrum>(m, "Parabelzentrum", "Centre and height of one peak by a paraboloid fit.");
    py::class_<Voronoischnitt>(m, "Voronoischnitt", "One Voronoi cell of an image.");
    py::class_<vec2d>(m, "vec2d", "A plane vector of two doubles.");
    py::class_<surface>(m, "surface", "The true area of a float image's height landscape.");
}

void add_analysis(py::module_& m) {
    // Calibration curves.
    auto ek = declared<eichkurve>(m, "eichkurve");
    ek.def("eichfun", &eichkurve::eichfun, py::arg("x"), "eichfun(x): the count for x.");
    ek.def("deichfun_dx", &eichkurve::deichfun_dx, py::arg("x"), "deichfun_dx(x): its derivative.");
    ek.def("initguess", &eichkurve::initguess, py::arg("val"), "initguess(val): closed-form inverse estimate.");
    ek.def("apply", &eichkurve::apply, py::arg("val"), "apply(val): the table's value for a count.");
    ek.def("table_write", [](const eichkurve& e, const Path& n) { e.table_write(n.c_str()); }, release(),
           py::arg("name"), "table_write(name): writes the inverse table.");
    ek.def(
           "table",
           [](py::object self) {
               const auto v = self.cast<const eichkurve&>().values();
               // A read-only view that keeps the curve alive.
               py::array_t<double> a(py::ssize_t(v.size()), v.data(), self);
               py::detail::array_proxy(a.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
               return a;
           },
           "table(): the 65536 inverse values, a read-only float64 view.");
    declared<expkurve, eichkurve>(m, "expkurve")
           .def(py::init<double, double, double, double, double, double>(), release(), py::arg("sA"),
                py::arg("sg1"), py::arg("sg2"), py::arg("sg3"), py::arg("sf1"), py::arg("sf2"),
                "expkurve(sA, sg1, sg2, sg3, sf1, sf2): the curve and its inverse table.");
    declared<exp4kurve, eichkurve>(m, "exp4kurve")
           .def(py::init<double, double, double, double, double, double, double, double>(), release(),
                py::arg("sA"), py::arg("sa1"), py::arg("sa2"), py::arg("sa3"), py::arg("sb1"), py::arg("sb2"),
                py::arg("sb3"), py::arg("sb4"),
                "exp4kurve(sA, sa1, sa2, sa3, sb1, sb2, sb3, sb4): the curve and its inverse table.");
    declared<tablekurve, eichkurve>(m, "tablekurve")
           .def(py::init([](const Path& n) {
                    py::gil_scoped_release r;
                    return std::make_unique<tablekurve>(n.c_str());
                }),
                py::arg("fname"), "tablekurve(fname): reads an EICHTABELLE file.");

    // QRfit.
    declared<QRfitBox>(m, "QRfit")
           .def(py::init([](const py::sequence& refs, const std::vector<float>& refw, int nrefimg,
                            int order) {
                    RefImages r(refs);
                    py::gil_scoped_release g;
                    return std::make_unique<QRfitBox>(r.images, refw, nrefimg, order);
                }),
                py::arg("refbilder"), py::arg("refw"), py::arg("nrefimg"), py::arg("order_") = QRfit::default_order,
                "QRfit(refbilder, refw, nrefimg, order_=4): fits every pixel to the first nrefimg images "
                "(bild16) and reference values.")
           .def(py::init([](const Path& n) {
                    py::gil_scoped_release g;
                    return std::make_unique<QRfitBox>(n.c_str());
                }),
                py::arg("fname"), "QRfit(fname): reads a file written by write().")
           .def(
                  "write",
                  [](const QRfitBox& q, const Path& n) {
                      std::shared_lock hold(q.lock);
                      q.write(n.c_str());
                  },
                  release(), py::arg("fname"), "write(fname): writes the coefficients.")
           .def(
                  "read",
                  [](QRfitBox& q, const Path& n) {
                      std::unique_lock hold(q.lock);
                      q.read(n.c_str());
                  },
                  release(), py::arg("fname"), "read(fname): replaces everything from the file.")
           .def(
                  "apply",
                  [](const QRfitBox& q, int y, int x, float val) {
                      std::shared_lock hold(q.lock);
                      return q.apply(y, x, val);
                  },
                  py::arg("y"), py::arg("x"), py::arg("val"),
                  "apply(y, x, val): the corrected value at row y, column x.")
           .def(
                  "get_coeff",
                  [](const QRfitBox& q, int x, int y, int n) {
                      std::shared_lock hold(q.lock);
                      return q.get_coeff(x, y, n);
                  },
                  py::arg("x"), py::arg("y"), py::arg("n"),
                  "get_coeff(x, y, n): coefficient n of column x, row y (the column first).");

    // The peak fit; it holds its image.
    using P = Parabelzentrum;
    declared<P>(m, "Parabelzentrum")
           .def(py::init<const bildfloat&, int>(), py::keep_alive<1, 2>(), py::arg("bild_"), py::arg("pktmax_"),
                "Parabelzentrum(bild_, pktmax_): a fit over at most pktmax_ pixels of the image.")
           .def("estimate", &P::estimate, py::arg("x"), py::arg("y"), "estimate(x, y): the estimated centre.")
           .def("put", &P::put, py::arg("x"), py::arg("y"), "put(x, y): adds the pixel at column x, row y.")
           .def("clear", &P::clear, "clear(): back to collecting.")
           .def("fit", &P::fit, "fit(): fits; False for no points or a singular system.")
           .def("x", &P::x, "x(): the centre's column.")
           .def("y", &P::y, "y(): the centre's row.")
           .def("height", &P::height, "height(): the peak's height.")
           .def("s_x", &P::s_x, "s_x(): the column's standard error.")
           .def("s_y", &P::s_y, "s_y(): the row's standard error.")
           .def("s_height", &P::s_height, "s_height(): the height's standard error.")
           .def_property(
                  "koeff", [](P& p) { return std::vector<double>(p.koeff(), p.koeff() + 5); },
                  [](P& p, std::array<double, 5> k) { p.set_koeff(k.data()); },
                  "The five coefficients c0..c4.");

    // A Voronoi cell; it holds its image. Its console output goes where
    // the library writes it (quenz.ostream_redirect captures it).
    declared<Voronoischnitt>(m, "Voronoischnitt")
           .def(py::init([](bildfloat& b, float x, float y, const Path& file) {
                    return std::make_unique<Voronoischnitt>(b, x, y, file.c_str());
                }),
                py::keep_alive<1, 2>(), py::arg("bfl"), py::arg("xmitte_"), py::arg("ymitte_"),
                py::arg("vorofile"), "Voronoischnitt(bfl, xmitte_, ymitte_, vorofile): the cell nearest the point.")
           .def(
                  "compute_schnitt", [](Voronoischnitt& v, int nr) { v.compute_schnitt(nr); }, py::arg("nr"),
                  "compute_schnitt(nr): the profile along the longest diagonal, printed.")
           .def(
                  "boundary_average", [](Voronoischnitt& v) { return v.boundary_average(); },
                  "boundary_average(): the mean at the corners; the spread goes to stddev.")
           .def("contains", &Voronoischnitt::contains, py::arg("x"), py::arg("y"),
                "contains(x, y): whether the point lies in the cell.")
           .def_readwrite("stddev", &Voronoischnitt::stddev, "The corners' spread.");

    // The plane vector.
    declared<vec2d>(m, "vec2d")
           .def(py::init<double, double>(), py::arg("x_"), py::arg("y_"), "vec2d(x, y).")
           .def_readwrite("x", &vec2d::x)
           .def_readwrite("y", &vec2d::y)
           .def("__sub__", [](const vec2d& a, const vec2d& b) { return a - b; }, py::is_operator())
           .def("__add__", [](const vec2d& a, const vec2d& b) { return a + b; }, py::is_operator())
           .def("__mul__", [](const vec2d& a, const vec2d& b) { return a * b; }, py::is_operator())
           .def("__mul__", [](const vec2d& a, double s) { return a * s; }, py::is_operator())
           .def("__truediv__", [](const vec2d& a, double s) { return a / s; }, py::is_operator())
           .def("__itruediv__", [](vec2d& a, double s) -> vec2d& { return a /= s; }, self_ref, py::is_operator())
           .def("__abs__", [](const vec2d& v) { return abs(v); })
           .def("__repr__", [](const vec2d& v) {
               return "vec2d(" + std::string(py::repr(py::float_(v.x))) + ", " +
                      std::string(py::repr(py::float_(v.y))) + ")";
           });
    m.def("abs", [](const vec2d& v) { return abs(v); }, py::arg("v"), "abs(v): a vector's length.");

    // The surface accumulator; it holds its image.
    declared<surface>(m, "surface")
           .def(py::init<const bildfloat&>(), py::keep_alive<1, 2>(), py::arg("rb_"), "surface(rb_).")
           .def("put", &surface::put, py::arg("x"), py::arg("y"), "put(x, y): adds the area above a pixel.")
           .def("get", &surface::get, "get(): the sum so far.")
           .def_readwrite("surf", &surface::surf)
           .def_property_readonly(
                  "rb", [](surface& s) -> const bildfloat& { return s.rb; }, py::return_value_policy::reference,
                  "The image.");

    measurements<bild16>(m);
    measurements<bildfloat>(m);
}

}  // namespace quenzpy

PYBIND11_MODULE(quenz, m) {
    m.doc() = "quenz: the image library of the quenz Tcl extension, from Python.";
    m.attr("__version__") = "1.2";
    m.attr("bild16_intensity_max") = quenz::bild16_intensity_max;
    m.attr("bild16_intensity_min") = quenz::bild16_intensity_min;
    m.attr("bildfloat_pix_size") = quenz::bildfloat_pix_size;
    // A library failure carries the library's message, as in Tcl; what it
    // does not explain is "Some C++-Error" there too.
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const quenz::Error& e) {
            PyErr_SetString(PyExc_RuntimeError, e.what());
        } catch (const quenz::InternalError&) {
            PyErr_SetString(PyExc_RuntimeError, "Some C++-Error");
        }
    });
    quenzpy::declare_images(m);
    quenzpy::declare_analysis(m);
    quenzpy::add_images(m);
    quenzpy::add_analysis(m);
    quenzpy::add_files(m);
    py::add_ostream_redirect(m, "ostream_redirect");
}
