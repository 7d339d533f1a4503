// encode, decode and info: numpy arrays and bytes to and from the C++ API's WSQ calls.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <quorvel/quorvel.hpp>

#include "arrays.h"
#include "bindings.h"

namespace quorvel::python {
namespace {

// A 2-D uint8 array of rows; anything else is a TypeError or ValueError naming what it got.
GrayArray gray_rows(const py::array& array) {
    check_uint8(array, "encode");
    if (array.ndim() != 2) {
        throw py::value_error("encode: expected a 2-D array (rows, columns), got " +
                              std::to_string(array.ndim()) + " dimensions");
    }
    return GrayArray::ensure(array);  // C order; copies only a strided view
}

py::dict attributes_dict(const std::vector<Attribute>& attributes) {
    py::dict d;
    for (const Attribute& a : attributes)
        d[py::str(a.name)] = a.value ? py::object(py::str(*a.value)) : py::none();
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

}  // namespace

py::bytes encode(const py::array& array, double bitrate, int ppi,
                 std::optional<std::string> comment) {
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

py::tuple decode(const py::buffer& data) {
    const StreamBytes bytes = stream_bytes(data, "decode");
    Image image;
    {
        py::gil_scoped_release unlocked;
        image = quorvel::decode(bytes.data(), bytes.size());
    }
    py::object comment = image.comment ? py::object(py::str(*image.comment)) : py::none();
    py::array_t<std::uint8_t> pixels =
        owning_array(std::move(image.pixels), {image.height, image.width});
    return py::make_tuple(pixels, image.ppi, comment);
}

bool looks_like_wsq(const py::buffer& data) {
    const StreamBytes bytes = stream_bytes(data, "looks_like_wsq");
    return quorvel::looks_like_wsq(bytes.data(), bytes.size());
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

}  // namespace quorvel::python
