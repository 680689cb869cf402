// What a file holds and what kind of file it is, as the Tcl commands
// tiff_pages, tiff_tags, fits_hdus, fits_cards, identify_file and
// quenz::formats answer: the library's own bounded walks and its formats'
// records, with the same values in Python's types.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <filesystem>
#include <string>

#include "common.h"
#include "imgclass/formats/fits_header.h"
#include "imgclass/formats/format.h"
#include "imgclass/formats/identify.h"
#include "imgclass/formats/tiff.h"

namespace py = pybind11;

namespace quenzpy {

namespace {

using Path = std::filesystem::path;

py::dict record(const quenz::Format& f) {
    auto methods = [&](const char* verb, bool b16, bool bf) {
        py::dict d;
        for (auto [cls, has] : {std::pair{"bild16", b16}, std::pair{"bildfloat", bf}})
            if (has) {
                std::string m = std::string(verb) + "_" + std::string(f.name);
                if (std::string_view(verb) == "write" && std::string_view(cls) == "bild16" && !f.writer16.empty())
                    m = f.writer16;
                d[cls] = m;
            }
        return d;
    };
    auto options = [](std::span<const quenz::FormatOption> opts) {
        py::dict d;
        for (const quenz::FormatOption& o : opts) {
            py::list words;
            for (std::string_view w : o.words) words.append(py::str(w.data(), w.size()));
            d[py::str(o.name.data(), o.name.size())] = words;
        }
        return d;
    };
    py::list ext;
    for (std::string_view e : f.extensions) ext.append(py::str(e.data(), e.size()));
    py::dict d;
    d["name"] = py::str(f.name.data(), f.name.size());
    d["title"] = py::str(f.title.data(), f.title.size());
    d["extensions"] = ext;
    d["identified"] = quenz::identifiable(f);
    d["watched"] = f.watched;
    d["generated"] = f.generated;
    d["size"] = f.max_size;
    d["read"] = methods("read", f.read16 != nullptr, f.readfloat != nullptr);
    d["write"] = methods("write", f.write16 != nullptr, f.writefloat != nullptr);
    d["read_options"] = options(f.read_options);
    d["write_options"] = options(f.write_options);
    d["frames"] = py::str(f.frames.data(), f.frames.size());
    d["header"] = py::str(f.header.data(), f.header.size());
    return d;
}

}  // namespace

void add_files(py::module_& m) {
    m.def(
        "tiff_pages", [](const Path& name) { return quenz::tiff_pages(name.c_str()); }, py::arg("name"),
        "tiff_pages(name): the number of pages of a TIFF file.");
    m.def(
        "tiff_tags",
        [](const Path& name, int page) {
            py::list r;
            for (const quenz::TiffEntry& e : quenz::tiff_tags(name.c_str(), page))
                r.append(py::make_tuple(e.tag, e.type, e.count, e.value));
            return r;
        },
        py::arg("name"), py::arg("page"),
        "tiff_tags(name, page): (tag, type, count, value) for each entry of page `page` (from 0).");
    m.def(
        "fits_hdus",
        [](const Path& name) {
            py::list r;
            for (const quenz::fits::Header& h : quenz::fits::list_hdus(name.c_str())) {
                const bool image = h.xtension.empty() || h.xtension == "IMAGE";
                py::dict d;
                d["index"] = h.index;
                d["xtension"] = h.xtension;
                d["bitpix"] = h.bitpix;
                d["naxis"] = h.naxis;
                d["axes"] = h.axes;
                d["planes"] = image ? quenz::fits::planes(h) : 0;
                d["compressed"] = h.zimage && h.xtension == "BINTABLE";
                r.append(d);
            }
            return r;
        },
        py::arg("name"), "fits_hdus(name): a dict per HDU (index, xtension, bitpix, naxis, axes, planes, compressed).");
    m.def(
        "fits_cards", [](const Path& name, int hdu) { return quenz::fits::header_cards(name.c_str(), hdu); },
        py::arg("name"), py::arg("hdu"), "fits_cards(name, hdu): the cards of HDU `hdu` before END, as they stand.");
    m.def(
        "identify_file",
        [](const Path& name) {
            const quenz::Identity id = quenz::identify_file(name.c_str());
            if (id.kind == quenz::FileKind::unknown) return py::make_tuple("unknown", id.size, id.like);
            return py::make_tuple(quenz::kind_name(id.kind), id.size);
        },
        py::arg("name"),
        "identify_file(name): (kind, size), or ('unknown', size, what it looks like), as quenz-view decides.");
    m.def(
        "formats",
        []() {
            py::list r;
            for (const quenz::Format& f : quenz::formats()) r.append(record(f));
            return r;
        },
        "formats(): the file formats, a dict each, as Tcl's quenz::formats lists them.");
}

}  // namespace quenzpy
