// The compiled function type shared by every extension module of the process
// that links this runtime: its instance record, type specifications and the
// constructor that modules use to publish their functions.
#pragma once

#include <Python.h>
#include <cstdint>

#include "runtime/compat.h"

namespace runtime {

// Returns a new 2-tuple (defaults tuple, keyword-defaults dict) for a
// function whose defaults are computed on first read.
using DefaultsGetter = PyObject* (*)(PyObject * function);

enum FunctionFlags : std::int32_t {
    FUNCTION_STATIC = 1,        // a class member that still receives the bound self
    FUNCTION_CLASS_MEMBER = 4,  // the receiver is the first positional argument
    FUNCTION_COROUTINE = 8,
};

// Begins with PyCMethodObject (method definition, self, module, weak-reference
// list, vectorcall entry, defining class) so that code which understands
// built-in functions can read those fields directly.
struct CompiledFunction {
    PyCMethodObject base;
    PyObject* name;  // made from the method definition on first read
    PyObject* qualname;
    PyObject* doc;  // made from the method definition on first read
    PyObject* globals;
    PyObject* code;
    PyObject* closure;
    PyObject* dynamic_defaults;
    std::int32_t flags;
    PyObject* defaults;    // __defaults__
    PyObject* kwdefaults;  // __kwdefaults__
    DefaultsGetter defaults_getter;
    PyObject* annotations;
    PyObject* coroutine_marker;
    // The sys.monitoring events of its calls; takes no room where calls
    // report none.
    [[no_unique_address]] Monitoring monitoring;
};

inline CompiledFunction* as_function(PyObject* object) noexcept {
    return reinterpret_cast<CompiledFunction*>(object);
}
inline PyMethodDef* method_def(PyObject* object) noexcept {
    return reinterpret_cast<PyCFunctionObject*>(object)->m_ml;
}

// Whether a tool listens for the start or the return of calls of `function`
// (as of its current call): then the calls that it makes must be seen too.
inline bool calls_observed(PyObject* function) noexcept {
    return as_function(function)->monitoring.observes_calls();
}

extern PyType_Spec function_type_spec;

// A new function object of `type` for `def`, taking a reference to every
// object it is given.  `qualname` and `globals` must not be null; `module`,
// `code`, `defaults` (the __defaults__ tuple) and `annotations` (a dict) may be.
PyObject* function_new(PyTypeObject* type, PyMethodDef* def, PyObject* qualname, PyObject* module,
                       PyObject* globals, PyObject* code, PyObject* defaults = nullptr,
                       PyObject* annotations = nullptr) noexcept;

}  // namespace runtime
