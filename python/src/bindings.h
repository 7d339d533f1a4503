// The functions of the module _quorvel, as pybind11 binds them; each releases the GIL while
// the library works.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <optional>
#include <string>

namespace quorvel::python {

namespace py = pybind11;

py::bytes encode(const py::array& array, double bitrate, int ppi,
                 std::optional<std::string> comment);
py::tuple decode(const py::buffer& data);
py::dict info(const py::buffer& data);
bool looks_like_wsq(const py::buffer& data);

py::array_t<std::uint8_t> load(const std::string& path);
void save(const py::array& array, const std::string& path, double bitrate, int ppi,
          std::optional<std::string> comment, int tiff_compression, int tiff_predictor,
          int jpeg_quality);
void convert(const std::string& source, const std::string& target, double bitrate, int ppi,
             std::optional<std::string> comment, int tiff_compression, int tiff_predictor,
             int jpeg_quality);
// (extension, description) for each extension load() reads.
py::list readable_formats();

}  // namespace quorvel::python
