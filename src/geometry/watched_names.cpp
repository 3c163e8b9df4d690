// The machine path's module-level names, checked once and then watched: a dict watcher
// on the module's dictionary and on those of the modules bound as
// `constants` and `algebra` marks the check stale whenever one of the names
// it read may have changed.
#include "watched_names.h"

#include <cstring>

#include "function_rows.h"
#include "module_state.h"
#include "runtime/function.h"

namespace geometry {

namespace watched_detail {
Watched watched;
}  // namespace watched_detail

namespace {

using watched_detail::Check;
using watched_detail::watched;

struct Watch {
    int watcher = -1;                    // the watcher id, once added
    bool unavailable = false;            // no watcher could be added
    PyObject* constants_dict = nullptr;  // borrowed; watched while bound
    PyObject* algebra_dict = nullptr;
};

Watch watch;

bool same_name(PyObject* key, Pool name) noexcept {
    PyObject* text = pool(name);
    return key == text || PyUnicode_Compare(key, text) == 0;
}

// Whether an event keyed by `key` in `dict` can change what the check read.
// One dictionary may serve more than one role (a module bound as both
// `constants` and `algebra`, or as its own `constants`).
bool affects(PyObject* dict, PyObject* key) noexcept {
    if (!PyUnicode_CheckExact(key)) {
        return true;  // the check requires str keys throughout
    }
    if (dict == watch.constants_dict && same_name(key, POOL_PI)) {
        return true;
    }
    if (dict == watch.algebra_dict && same_name(key, POOL_SQRT)) {
        return true;
    }
    if (dict == state.module_dict) {
        for (const FunctionRow& row : function_rows) {
            if (row.called_by_name && same_name(key, row.name.entry)) {
                return true;
            }
        }
        return same_name(key, POOL_CONSTANTS) || same_name(key, POOL_ALGEBRA);
    }
    return false;
}

int on_dict_event(PyDict_WatchEvent event, PyObject* dict, PyObject* key, PyObject*) noexcept {
    if (watched.check == Check::stale ||
        (dict != state.module_dict && dict != watch.constants_dict && dict != watch.algebra_dict)) {
        return 0;  // a dictionary watched for an earlier check
    }
    bool keyed = event == PyDict_EVENT_ADDED || event == PyDict_EVENT_MODIFIED ||
                 event == PyDict_EVENT_DELETED;
    if (!keyed || affects(dict, key)) {
        watched.check = Check::stale;
    }
    if (event == PyDict_EVENT_DEALLOCATED) {
        if (dict == watch.constants_dict) {
            watch.constants_dict = nullptr;
        }
        if (dict == watch.algebra_dict) {
            watch.algebra_dict = nullptr;
        }
    }
    return 0;
}

// dict[name] for a dictionary with only str keys: no code runs, and the
// name's hash was computed when the pool was made.  A borrowed reference.
PyObject* lookup(PyObject* dict, Pool name) noexcept {
    return PyDict_GetItemWithError(dict, pool(name));
}

// Whether every key of `dict` is an exact str, so that looking a str up in it
// compares only strs and runs no code.
bool has_only_str_keys(PyObject* dict) noexcept {
    Py_ssize_t position = 0;
    PyObject* key;
    while (PyDict_Next(dict, &position, &key, nullptr)) {
        if (!PyUnicode_CheckExact(key)) {
            return false;
        }
    }
    return true;
}

// The dictionary of an exact module whose keys are all strs, watched from now
// on; null otherwise.
PyObject* watched_module_dict(PyObject* module) noexcept {
    if (module == nullptr || !PyModule_CheckExact(module)) {
        return nullptr;
    }
    PyObject* dict = PyModule_GetDict(module);
    if (PyDict_Watch(watch.watcher, dict) < 0) {
        PyErr_Clear();
        return nullptr;
    }
    return has_only_str_keys(dict) ? dict : nullptr;
}

// The interpreter's math.sqrt: a built-in function whose definition is the
// "sqrt" entry of the method table of a module named "math".
bool is_math_sqrt(PyObject* object) noexcept {
    if (object == nullptr || !PyCFunction_CheckExact(object)) {
        return false;
    }
    PyObject* owner = PyCFunction_GET_SELF(object);
    if (owner == nullptr || !PyModule_Check(owner)) {
        return false;
    }
    PyModuleDef* def = PyModule_GetDef(owner);
    if (def == nullptr || def->m_name == nullptr || std::strcmp(def->m_name, "math") != 0 ||
        def->m_methods == nullptr) {
        PyErr_Clear();
        return false;
    }
    PyMethodDef* entry = reinterpret_cast<PyCFunctionObject*>(object)->m_ml;
    for (PyMethodDef* m = def->m_methods; m->ml_name != nullptr; ++m) {
        if (m == entry) {
            return std::strcmp(m->ml_name, "sqrt") == 0;
        }
    }
    return false;
}

bool is_own_function(PyObject* object, int f) noexcept {
    return object != nullptr && Py_TYPE(object) == state.function_type &&
           runtime::method_def(object) == &function_defs[f];
}

Check run_check() noexcept {
    PyObject* globals = state.module_dict;
    if (PyDict_Watch(watch.watcher, globals) < 0) {
        PyErr_Clear();
        return Check::fails;
    }
    watch.constants_dict = nullptr;
    watch.algebra_dict = nullptr;
    if (!has_only_str_keys(globals)) {
        return Check::fails;
    }
    for (int f = 0; f < function_count; ++f) {
        const FunctionRow& row = function_rows[f];
        if (row.called_by_name && !is_own_function(lookup(globals, row.name.entry), f)) {
            return Check::fails;
        }
    }
    watch.constants_dict = watched_module_dict(lookup(globals, POOL_CONSTANTS));
    watch.algebra_dict = watched_module_dict(lookup(globals, POOL_ALGEBRA));
    if (watch.constants_dict == nullptr || watch.algebra_dict == nullptr) {
        return Check::fails;
    }
    PyObject* pi = lookup(watch.constants_dict, POOL_PI);
    if (pi == nullptr || !PyFloat_CheckExact(pi) ||
        !is_math_sqrt(lookup(watch.algebra_dict, POOL_SQRT))) {
        return Check::fails;
    }
    watched.names.pi = PyFloat_AS_DOUBLE(pi);
    return Check::holds;
}

}  // namespace

const WatchedNames* watched_detail::recheck() noexcept {
    if (watch.unavailable || state.module_dict == nullptr) {
        return nullptr;
    }
    if (watch.watcher < 0) {
        watch.watcher = PyDict_AddWatcher(on_dict_event);
        if (watch.watcher < 0) {
            PyErr_Clear();
            watch.unavailable = true;
            return nullptr;
        }
    }
    watched.check = run_check();
    return watched.check == Check::holds ? &watched.names : nullptr;
}

}  // namespace geometry
