// Slot functions of the compiled function type, shared between the files
// that implement them and the type specification in function.cpp.
#pragma once

#include <Python.h>

namespace runtime {

// Vectorcall entries, one per call convention; the constructor stores one.
PyObject* function_vectorcall_noargs(PyObject* self, PyObject* const* args, size_t nargsf,
                                     PyObject* kwnames) noexcept;
PyObject* function_vectorcall_o(PyObject* self, PyObject* const* args, size_t nargsf,
                                PyObject* kwnames) noexcept;
PyObject* function_vectorcall_fastcall_keywords(PyObject* self, PyObject* const* args,
                                                size_t nargsf, PyObject* kwnames) noexcept;
PyObject* function_vectorcall_fastcall_keywords_method(PyObject* self, PyObject* const* args,
                                                       size_t nargsf, PyObject* kwnames) noexcept;

PyObject* function_call(PyObject* self, PyObject* args, PyObject* kwargs) noexcept;
PyObject* function_descr_get(PyObject* self, PyObject* instance, PyObject* owner) noexcept;
PyObject* function_repr(PyObject* self) noexcept;

extern PyGetSetDef function_getset[];
extern PyMethodDef function_methods[];

// Raises the TypeError of a class-member function called without its receiver.
PyObject* raise_needs_argument(PyObject* self) noexcept;

}  // namespace runtime
