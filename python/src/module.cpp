// The compiled part of the Python package quorvel: WSQ encode, decode and info on numpy
// arrays and bytes, over the thread-safe C++ API; the GIL is released while the codec works.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <quorvel/quorvel.hpp>

#include "errors.h"

namespace py = pybind11;

namespace quorvel::python {
namespace {

using GrayArray = py::array_t<std::uint8_t, py::array::c_style>;

// A 2-D uint8 array of rows; anything else is a TypeError or ValueError naming what it got.
GrayArray gray_rows(const py::array& array) {
    if (!array.dtype().equal(py::dtype::of<std::uint8_t>())) {
        throw py::type_error("encode: expected a uint8 array, got dtype " +
                             py::str(array.dtype()).cast<std::string>());
    }
    if (array.ndim() != 2) {
        throw py::value_error("encode: expected a 2-D array (rows, columns), got " +
                              std::to_string(array.ndim()) + " dimensions");
    }
    return GrayArray::ensure(array);  // C order; copies only a strided view
}

py::bytes encode(const py::array& array, double bitrate, int ppi, std::optional<std::string> comment) {
    const GrayArray rows = gray_rows(array);
    if (rows.shape(0) > 65535 || rows.shape(1) > 65535) {
        throw py::value_error("encode: image larger than 65535 on a side");
    }
    const int height = static_cast<int>(rows.shape(0)), width = static_cast<int>(rows.shape(1));
    const EncodeOptions options{bitrate, ppi, std::move(comment)};
    std::vector<std::uint8_t> stream;
    {
        py::gil_scoped_release unlocked;
        stream = quorvel::encode(rows.data(), width, height, options);
    }
    return py::bytes(reinterpret_cast<const char*>(stream.data()), stream.size());
}

// The image's pixels as a (height, width) array that owns them, without a copy.
py::array_t<std::uint8_t> pixels_array(Image& image) {
    auto* pixels = new std::vector<std::uint8_t>(std::move(image.pixels));
    py::capsule owner(pixels, [](void* p) { delete static_cast<std::vector<std::uint8_t>*>(p); });
    return py::array_t<std::uint8_t>({image.height, image.width}, pixels->data(), owner);
}

// A stream's bytes; the view keeps the buffer from being resized while the GIL is released.
struct StreamBytes {
    py::buffer_info view;
    const std::uint8_t* data() const { return static_cast<const std::uint8_t*>(view.ptr); }
    std::size_t size() const { return static_cast<std::size_t>(view.size * view.itemsize); }
};

StreamBytes stream_bytes(const py::buffer& data, const char* operation) {
    StreamBytes bytes{data.request()};
    const bool contiguous = bytes.view.ndim == 1 && bytes.view.strides[0] == bytes.view.itemsize;
    if (!contiguous) throw py::type_error(std::string(operation) + ": expected contiguous bytes");
    return bytes;
}

py::tuple decode(const py::buffer& data) {
    const StreamBytes bytes = stream_bytes(data, "decode");
    Image image;
    {
        py::gil_scoped_release unlocked;
        image = quorvel::decode(bytes.data(), bytes.size());
    }
    py::object comment = image.comment ? py::object(py::str(*image.comment)) : py::none();
    return py::make_tuple(pixels_array(image), image.ppi, comment);
}

py::dict attributes_dict(const std::vector<Attribute>& attributes) {
    py::dict d;
    for (const Attribute& a : attributes) d[py::str(a.name)] = a.value ? py::object(py::str(*a.value)) : py::none();
    return d;
}

py::dict segment_dict(const Segment& s) {
    py::dict d;
    d["marker"] = s.marker;
    d["name"] = s.name;
    d["offset"] = s.offset;
    d["length"] = s.length >= 0 ? py::object(py::int_(s.length)) : py::none();
    d["coded_bytes"] = s.coded_bytes;
    return d;
}

py::object frame_dict(const std::optional<Frame>& frame) {
    if (!frame) return py::none();
    py::dict d;
    d["width"] = frame->width;
    d["height"] = frame->height;
    d["shift"] = frame->shift;
    d["scale"] = frame->scale;
    d["black"] = frame->black;
    d["white"] = frame->white;
    d["encoder"] = frame->encoder;
    d["software"] = frame->software;
    return d;
}

py::dict info(const py::buffer& data) {
    const StreamBytes bytes = stream_bytes(data, "info");
    StreamInfo walked;
    {
        py::gil_scoped_release unlocked;
        walked = quorvel::info(bytes.data(), bytes.size());
    }
    py::dict d;
    py::list segments;
    for (const Segment& s : walked.segments) segments.append(segment_dict(s));
    d["segments"] = segments;
    d["frame"] = frame_dict(walked.frame);
    d["transform_taps"] = walked.transform_taps;
    d["bin_centers"] = walked.bin_centers;
    d["huffman_ids"] = walked.huffman_ids;
    d["block_tables"] = walked.block_tables;
    d["comments"] = walked.comments;
    d["attributes"] = attributes_dict(walked.attributes);
    return d;
}

}  // namespace
}  // namespace quorvel::python

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
    m.attr("__version__") = quorvel::version();
}
