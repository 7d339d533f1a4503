#include "arrays.h"

#include <string>

namespace quorvel::python {

void check_uint8(const py::array& array, const char* operation) {
    if (array.dtype().equal(py::dtype::of<std::uint8_t>())) return;
    throw py::type_error(std::string(operation) + ": expected a uint8 array, got dtype " +
                         py::str(array.dtype()).cast<std::string>());
}

py::array_t<std::uint8_t> owning_array(std::vector<std::uint8_t>&& pixels,
                                       std::vector<py::ssize_t> shape) {
    auto* owned = new std::vector<std::uint8_t>(std::move(pixels));
    py::capsule owner(owned, [](void* p) { delete static_cast<std::vector<std::uint8_t>*>(p); });
    return py::array_t<std::uint8_t>(shape, owned->data(), owner);
}

StreamBytes stream_bytes(const py::buffer& data, const char* operation) {
    StreamBytes bytes{data.request()};
    const bool contiguous = bytes.view.ndim == 1 && bytes.view.strides[0] == bytes.view.itemsize;
    if (!contiguous) throw py::type_error(std::string(operation) + ": expected contiguous bytes");
    return bytes;
}

}  // namespace quorvel::python
