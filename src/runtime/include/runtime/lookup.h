// Module-level name lookup and the calls of what it finds.  Nothing is
// cached: every use sees the current binding.
#pragma once

#include <Python.h>

#include "runtime/ref.h"

namespace runtime {

// The value of `name` (an interned str whose hash is already computed) in
// `globals`, else in the `builtins` module; NameError when neither has it.
PyObject* get_module_global(PyObject* globals, PyObject* builtins, PyObject* name) noexcept;

// object.name through the type's attribute hook.
inline PyObject* get_attribute(PyObject* object, PyObject* name) noexcept {
    getattrofunc getattro = Py_TYPE(object)->tp_getattro;
    return getattro ? getattro(object, name) : PyObject_GetAttr(object, name);
}

// Calls `callable` with the vector `args` (no keywords).  `nargsf` may carry
// PY_VECTORCALL_ARGUMENTS_OFFSET.  `function_type` is the compiled function
// type, whose one-argument functions are entered directly.
PyObject* call_object(PyTypeObject* function_type, PyObject* callable, PyObject* const* args,
                      size_t nargsf) noexcept;

// Calls the native entry point of a METH_O built-in style function directly.
PyObject* call_c_function(PyObject* function, PyObject* argument) noexcept;

// Whether `raised` is, or is a subclass of, `wanted` (a class or a tuple of
// classes).  Never fails.
int exception_matches(PyObject* raised, PyObject* wanted) noexcept;

// The call made at every call site of a looked-up callable.  `args[0]` is a
// spare slot and the `nargs` arguments follow it; a bound method is unpacked
// and its self placed in the spare slot.  Consumes `callable`.
PyObject* call_site(PyTypeObject* function_type, Ref callable, PyObject** args,
                    Py_ssize_t nargs) noexcept;

}  // namespace runtime
