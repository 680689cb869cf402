// What the parts of the Python module share: pybind11, the errors, and the
// rule that keeps memory alive while the interpreter lock is released.
//
// Lifetimes. Every object is a Python object; a call holds its arguments
// (CPython's own references) for as long as it runs, so nothing a call was
// given can be freed under it, even with the lock released and another
// thread dropping the last name. What is held beyond that:
// - an image's pixel block never moves or is freed while the image lives
//   (readers that would swap in a fresh block read into a temporary and
//   copy), so a numpy view or a kernel running in another thread always
//   points at live pixels; views hold their image;
// - an object that refers to an image (surface, Parabelzentrum,
//   Voronoischnitt) holds it (keep_alive);
// - a QRfit's coefficients are replaced only by read(), which waits until
//   no kernel uses them (QRfitBox's lock);
// - lists of images given to a kernel are copied into references first.
// Concurrent writes to the same pixels are the script's business, as in numpy.
#pragma once
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <shared_mutex>
#include <string>

#include "imgclass/fit/qrfit.h"

namespace py = pybind11;

namespace quenzpy {

// Coordinates outside the image: an IndexError carrying the library's text.
template <class F> auto index_checked(F&& f) {
    try {
        return f();
    } catch (const quenz::Error& e) {
        throw py::index_error(e.what());
    }
}

// A QRfit and the lock that keeps read() from replacing its coefficients
// while a kernel (the lock released) uses them.
class QRfitBox : public QRfit {
public:
    using QRfit::QRfit;
    mutable std::shared_mutex lock;
};

// Every class is declared before any method is added, so that signatures
// name their argument types as Python knows them; declared() fetches one.
template <class T, class... Extra> py::class_<T, Extra...> declared(py::module_& m, const char* name) {
    return py::reinterpret_borrow<py::class_<T, Extra...>>(m.attr(name));
}

void declare_images(py::module_& m);
void declare_analysis(py::module_& m);
void add_images(py::module_& m);
void add_analysis(py::module_& m);
// What a file holds and what kind it is (files.cpp).
void add_files(py::module_& m);

}  // namespace quenzpy
