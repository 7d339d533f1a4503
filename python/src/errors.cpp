#include "errors.h"

#include <quorvel/quorvel.hpp>

namespace py = pybind11;

namespace quorvel::python {
namespace {

// The type object lives as long as the interpreter; the module holds a reference too.
PyObject* g_error_type = nullptr;

void raise(const quorvel::Error& e) {
    PyObject* instance = PyObject_CallFunction(g_error_type, "s", e.what());
    if (instance == nullptr) return;  // the call set its own exception
    PyObject* code = PyLong_FromLong(e.code());
    if (code != nullptr) PyObject_SetAttrString(instance, "code", code);
    Py_XDECREF(code);
    PyErr_SetObject(g_error_type, instance);
    Py_DECREF(instance);
}

}  // namespace

void register_error(py::module_& m) {
    g_error_type = PyErr_NewExceptionWithDoc(
        "quorvel.Error",
        "A failure of the codec or of the library. `code` is the codec's negative result code "
        "(or -1000 for arguments refused before coding, -1001 for a stream info() cannot read); "
        "the message holds the codec's own diagnostic lines.",
        PyExc_ValueError, nullptr);
    if (g_error_type == nullptr) throw py::error_already_set();
    m.attr("Error") = py::handle(g_error_type);
    py::register_exception_translator([](std::exception_ptr pending) {
        try {
            if (pending) std::rethrow_exception(pending);
        } catch (const quorvel::Error& e) {
            raise(e);
        }
    });
}

}  // namespace quorvel::python
