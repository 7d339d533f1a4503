// load, save and convert: arrays and file names to and from the C++ API's raster calls.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <quorvel/quorvel.hpp>

#include "arrays.h"
#include "bindings.h"

namespace quorvel::python {
namespace {

// A 2-D gray or (rows, columns, 3) RGB uint8 array as a Raster (copied: the writers run
// without the GIL).
Raster raster_of(const py::array& array) {
    check_uint8(array, "save");
    const bool gray = array.ndim() == 2, rgb = array.ndim() == 3 && array.shape(2) == 3;
    if (!gray && !rgb)
        throw py::value_error("save: expected (rows, columns) or (rows, columns, 3)");
    if (array.shape(0) > 65535 || array.shape(1) > 65535)
        throw py::value_error("save: image larger than 65535 on a side");
    const GrayArray rows = GrayArray::ensure(array);
    Raster image;
    image.height = static_cast<int>(rows.shape(0));
    image.width = static_cast<int>(rows.shape(1));
    image.channels = gray ? 1 : 3;
    image.pixels.assign(rows.data(), rows.data() + rows.size());
    return image;
}

SaveOptions save_options(double bitrate, int ppi, std::optional<std::string> comment,
                         int tiff_compression, int tiff_predictor, int jpeg_quality) {
    return SaveOptions{bitrate,        ppi,         std::move(comment), tiff_compression,
                       tiff_predictor, jpeg_quality};
}

}  // namespace

py::array_t<std::uint8_t> load(const std::string& path) {
    Raster image;
    {
        py::gil_scoped_release unlocked;
        image = quorvel::load(path);
    }
    std::vector<py::ssize_t> shape{image.height, image.width};
    if (image.channels == 3) shape.push_back(3);
    return owning_array(std::move(image.pixels), shape);
}

void save(const py::array& array, const std::string& path, double bitrate, int ppi,
          std::optional<std::string> comment, int tiff_compression, int tiff_predictor,
          int jpeg_quality) {
    const Raster image = raster_of(array);
    const SaveOptions options = save_options(bitrate, ppi, std::move(comment), tiff_compression,
                                             tiff_predictor, jpeg_quality);
    py::gil_scoped_release unlocked;
    quorvel::save(image, path, options);
}

void convert(const std::string& source, const std::string& target, double bitrate, int ppi,
             std::optional<std::string> comment, int tiff_compression, int tiff_predictor,
             int jpeg_quality) {
    const SaveOptions options = save_options(bitrate, ppi, std::move(comment), tiff_compression,
                                             tiff_predictor, jpeg_quality);
    py::gil_scoped_release unlocked;
    quorvel::convert(source, target, options);
}

py::list readable_formats() {
    py::list formats;
    for (const FileFormat& format : quorvel::readable_formats())
        formats.append(py::make_tuple(format.extension, format.description));
    return formats;
}

}  // namespace quorvel::python
