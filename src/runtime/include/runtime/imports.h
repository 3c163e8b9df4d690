// The two import routines of a module's start-up: importing a module (from
// the module registry when it is already there) and taking a name from it.
#pragma once

#include <Python.h>

namespace runtime {

// Imports `name` at `level` relative to `globals`.  With `fromlist` (an
// array of `fromlist_count` str names) the module is answered from the
// registry only when it has all those names.  `lookup_name`, when given, is
// the registry key to try instead of `name`.
PyObject* import_module(PyObject* name, PyObject* const* fromlist, Py_ssize_t fromlist_count,
                        PyObject* lookup_name, PyObject* globals, int level) noexcept;

// module.name, or the submodule "module.name" from the registry; otherwise
// ImportError "cannot import name ...".
PyObject* import_from(PyObject* module, PyObject* name) noexcept;

}  // namespace runtime
