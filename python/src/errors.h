// quorvel.Error on the Python side: a ValueError subclass whose `code` attribute holds the
// codec's code, raised for every quorvel::Error the C++ API throws.
#pragma once

#include <pybind11/pybind11.h>

namespace quorvel::python {

// Creates quorvel.Error in module `m` and installs the translator.
void register_error(pybind11::module_& m);

}  // namespace quorvel::python
