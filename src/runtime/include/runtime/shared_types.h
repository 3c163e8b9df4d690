// The shared types: the function type and its metatype, fetched from the
// registry module or created and registered there by the first module of
// the process that needs them.
#pragma once

#include <Python.h>

namespace runtime {

// Name of the module in sys.modules that owns the shared types.
inline constexpr const char registry_module_name[] = "_compiled_3_2_4";

extern PyType_Spec metatype_spec;

// Fetches the type named by `spec` from the registry module, creating and
// registering it when no module of the process has done so yet.
PyTypeObject* fetch_shared_type(PyTypeObject* metaclass, PyType_Spec* spec,
                                PyObject* bases) noexcept;
// 0 when `candidate` may serve as the shared type `short_name`; otherwise
// -1 with TypeError set.  An expected size of 0 is not checked.
int check_shared_type(PyObject* candidate, const char* short_name,
                      Py_ssize_t expected_size) noexcept;

// Fetches the metatype and then the function type, in that order.  Both
// out-parameters receive new references; returns -1 with an exception set.
int fetch_function_types(PyTypeObject** metatype, PyTypeObject** function_type) noexcept;

}  // namespace runtime
