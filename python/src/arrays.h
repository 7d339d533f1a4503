// numpy and buffer helpers of the bindings: uint8 checks, arrays that own a vector's pixels,
// and the bytes of a stream held still while the GIL is released.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <vector>

namespace quorvel::python {

namespace py = pybind11;

using GrayArray = py::array_t<std::uint8_t, py::array::c_style>;

// TypeError "<operation>: expected a uint8 array, got dtype ..." for any other dtype.
void check_uint8(const py::array& array, const char* operation);

// An array of `shape` over the pixels, which it then owns: no copy.
py::array_t<std::uint8_t> owning_array(std::vector<std::uint8_t>&& pixels,
                                       std::vector<py::ssize_t> shape);

// A stream's bytes; the view keeps the buffer from being resized while the GIL is released.
struct StreamBytes {
    py::buffer_info view;
    const std::uint8_t* data() const { return static_cast<const std::uint8_t*>(view.ptr); }
    std::size_t size() const { return static_cast<std::size_t>(view.size * view.itemsize); }
};

// TypeError unless the buffer is one contiguous run of bytes.
StreamBytes stream_bytes(const py::buffer& data, const char* operation);

}  // namespace quorvel::python
