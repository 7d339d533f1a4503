// The compiled part of the Python package quorvel: the functions of bindings.h with their
// signatures and docstrings, and the quorvel.Error exception.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <quorvel/quorvel.hpp>

#include "bindings.h"
#include "errors.h"

namespace py = pybind11;

PYBIND11_MODULE(_quorvel, m) {
    using namespace quorvel::python;
    m.doc() = "WSQ compression of 8-bit gray fingerprint images (the compiled part of quorvel).";
    register_error(m);
    m.def("encode", &encode, py::arg("array"), py::arg("bitrate") = 0.75, py::arg("ppi") = 500,
          py::arg("comment") = py::none(),
          "Compresses a 2-D uint8 array (rows top first) of at least 81 x 81 pixels to a WSQ\n"
          "stream. bitrate is the target bits per pixel, ppi the scan resolution (-1: unknown),\n"
          "comment a text stored after the NIST_COM attributes. Raises quorvel.Error when the\n"
          "codec refuses the image, TypeError or ValueError for an array of another kind.");
    m.def("decode", &decode, py::arg("data"),
          "decode(data) -> (array, ppi, comment)\n\n"
          "Decompresses a WSQ stream (bytes or any buffer) to a (height, width) uint8 array, the\n"
          "resolution from its NIST_COM attributes (-1 when absent) and its comment (None when\n"
          "it has none besides NIST_COM). Raises quorvel.Error for a stream it cannot decode.");
    m.def("info", &info, py::arg("data"),
          "Takes a WSQ stream apart without decoding it: 'segments' (marker, name, offset,\n"
          "length, coded_bytes each), 'frame', 'transform_taps', 'bin_centers', 'huffman_ids',\n"
          "'block_tables', 'comments' and the NIST_COM 'attributes' as a dict. Raises\n"
          "quorvel.Error naming the first segment that cannot be read.");
    m.def("looks_like_wsq", &looks_like_wsq, py::arg("data"),
          "True when data begins as a WSQ stream does: the start-of-image marker, then a table,\n"
          "the frame header or a comment. Reads four bytes; a guess for file-type sniffing.");
    m.def(
        "load", &load, py::arg("path"),
        "Loads any file the library reads, chosen by extension, as a (rows, columns) uint8 array\n"
        "when every pixel is gray, else (rows, columns, 3) RGB. Raises quorvel.Error.");
    m.def("save", &save, py::arg("array"), py::arg("path"), py::kw_only(),
          py::arg("bitrate") = 0.75, py::arg("ppi") = 500, py::arg("comment") = py::none(),
          py::arg("tiff_compression") = 0, py::arg("tiff_predictor") = 2,
          py::arg("jpeg_quality") = 90,
          "Writes a gray or RGB uint8 array in the format the extension names (wsq, bmp, tif,\n"
          "tiff, png, jpg, jpeg, tga, rgb). Raises quorvel.Error.");
    m.def("convert", &convert, py::arg("source"), py::arg("target"), py::kw_only(),
          py::arg("bitrate") = 0.75, py::arg("ppi") = 500, py::arg("comment") = py::none(),
          py::arg("tiff_compression") = 0, py::arg("tiff_predictor") = 2,
          py::arg("jpeg_quality") = 90,
          "save(load(source), target, **options). Raises quorvel.Error.");
    m.def("readable_formats", &readable_formats,
          "[(extension, description), ...] for every extension load() reads, lower case and\n"
          "without the dot, in the order the library tries them.");
    m.attr("__version__") = quorvel::version();
}
