// Binding of a call's positional arguments and keyword names to the
// parameters of a compiled function, with the interpreter's messages.
#pragma once

#include <Python.h>

#include "runtime/ref.h"

namespace runtime {

// What a binding wrapper knows of its function.  The names and defaults point
// at slots that the module fills at start-up, so they are read at call time.
struct Signature {
    const char* name;                         // the plain name used in messages
    PyObject* const* const* parameter_names;  // null-terminated, interned str
    PyObject* const* const* defaults;         // per parameter: slot of its default, or null
    Py_ssize_t parameter_count;               // P
    Py_ssize_t required_count;                // R, the leading parameters without default
};

// Binds the arguments of a vectorcall into `slots` (P empty references).  On
// failure returns -1 with TypeError (or the error of a failed comparison) set;
// slots bound so far stay filled and are released by their owner.
int bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames, Ref* slots) noexcept;

// Matches keyword names to parameters from position `nargs` on.
int bind_keywords(PyObject* kwnames, PyObject* const* kwvalues,
                  PyObject* const* const* parameter_names, Ref* slots, Py_ssize_t nargs,
                  Py_ssize_t nkw, const char* function_name) noexcept;

// For a key of exact type str: 1 and the parameter index when a parameter
// from `start` on has that name, 0 when none has, -1 with an error set (also
// when the name belongs to a parameter bound by position).
int match_keyword(PyObject* key, PyObject* const* const* parameter_names, Py_ssize_t start,
                  Py_ssize_t* index, const char* function_name) noexcept;

}  // namespace runtime
