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

// A 2-D gray or (rows, columns, 3) RGB uint8 array as a Raster (copied: the writers run
// without the GIL).
Raster raster_of(const py::array& array) {
    if (!array.dtype().equal(py::dtype::of<std::uint8_t>())) {
        throw py::type_error("save: expected a uint8 array, got dtype " + py::str(array.dtype()).cast<std::string>());
    }
    const bool gray = array.ndim() == 2, rgb = array.ndim() == 3 && array.shape(2) == 3;
    if (!gray && !rgb) throw py::value_error("save: expected (rows, columns) or (rows, columns, 3)");
    if (array.shape(0) > 65535 || array.shape(1) > 65535) throw py::value_error("save: image larger than 65535 on a side");
    const GrayArray rows = GrayArray::ensure(array);
    Raster image;
    image.height = static_cast<int>(rows.shape(0));
    image.width = static_cast<int>(rows.shape(1));
    image.channels = gray ? 1 : 3;
    image.pixels.assign(rows.data(), rows.data() + rows.size());
    return image;
}

py::array_t<std::uint8_t> array_of(Raster& image) {
    auto* pixels = new std::vector<std::uint8_t>(std::move(image.pixels));
    py::capsule owner(pixels, [](void* p) { delete static_cast<std::vector<std::uint8_t>*>(p); });
    std::vector<py::ssize_t> shape{image.height, image.width};
    if (image.channels == 3) shape.push_back(3);
    return py::array_t<std::uint8_t>(shape, pixels->data(), owner);
}

py::array_t<std::uint8_t> load(const std::string& path) {
    Raster image;
    {
        py::gil_scoped_release unlocked;
        image = quorvel::load(path);
    }
    return array_of(image);
}

SaveOptions save_options(double bitrate, int ppi, std::optional<std::string> comment, int tiff_compression,
                         int tiff_predictor, int jpeg_quality) {
    return SaveOptions{bitrate, ppi, std::move(comment), tiff_compression, tiff_predictor, jpeg_quality};
}

void save(const py::array& array, const std::string& path, double bitrate, int ppi,
          std::optional<std::string> comment, int tiff_compression, int tiff_predictor, int jpeg_quality) {
    const Raster image = raster_of(array);
    const SaveOptions options = save_options(bitrate, ppi, std::move(comment), tiff_compression, tiff_predictor, jpeg_quality);
    py::gil_scoped_release unlocked;
    quorvel::save(image, path, options);
}

void convert(const std::string& source, const std::string& target, double bitrate, int ppi,
             std::optional<std::string> comment, int tiff_compression, int tiff_predictor, int jpeg_quality) {
    const SaveOptions options = save_options(bitrate, ppi, std::move(comment), tiff_compression, tiff_predictor, jpeg_quality);
    py::gil_scoped_release unlocked;
    quorvel::convert(source, target, options);
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
    m.def("load", &load, py::arg("path"),
          "Loads any file the library reads, chosen by extension, as a (rows, columns) uint8 array\n"
          "when every pixel is gray, else (rows, columns, 3) RGB. Raises quorvel.Error.");
    m.def("save", &save, py::arg("array"), py::arg("path"), py::kw_only(), py::arg("bitrate") = 0.75,
          py::arg("ppi") = 500, py::arg("comment") = py::none(), py::arg("tiff_compression") = 0,
          py::arg("tiff_predictor") = 2, py::arg("jpeg_quality") = 90,
          "Writes a gray or RGB uint8 array in the format the extension names (wsq, bmp, tif,\n"
          "tiff, png, jpg, jpeg, tga, rgb). Raises quorvel.Error.");
    m.def("convert", &convert, py::arg("source"), py::arg("target"), py::kw_only(), py::arg("bitrate") = 0.75,
          py::arg("ppi") = 500, py::arg("comment") = py::none(), py::arg("tiff_compression") = 0,
          py::arg("tiff_predictor") = 2, py::arg("jpeg_quality") = 90,
          "save(load(source), target, **options). Raises quorvel.Error.");
    m.attr("__version__") = quorvel::version();
}
