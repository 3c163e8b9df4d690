// Import routines used by module start-up.
#include "runtime/imports.h"

#include "runtime/lookup.h"
#include "runtime/ref.h"

namespace runtime {

namespace {

PyObject* import_through_machinery(PyObject* name, PyObject* const* fromlist,
                                   Py_ssize_t fromlist_count, PyObject* globals,
                                   int level) noexcept {
    Ref locals = Ref::steal(PyDict_New());
    if (!locals) {
        return nullptr;
    }
    Ref names;
    if (fromlist != nullptr) {
        names = Ref::steal(PyList_New(fromlist_count));
        if (!names) {
            return nullptr;
        }
        for (Py_ssize_t i = 0; i < fromlist_count; ++i) {
            PyList_SET_ITEM(names.get(), i, Py_NewRef(fromlist[i]));
        }
    }
    return PyImport_ImportModuleLevelObject(name, globals, locals.get(), names.get(), level);
}

}  // namespace

PyObject* import_module(PyObject* name, PyObject* const* fromlist, Py_ssize_t fromlist_count,
                        PyObject* lookup_name, PyObject* globals, int level) noexcept {
    PyObject* key = lookup_name ? lookup_name : name;
    Ref module = Ref::steal(PyImport_GetModule(key));
    if (!module) {
        if (PyErr_Occurred()) {
            return nullptr;
        }
    } else if (fromlist != nullptr) {
        bool complete = true;
        for (Py_ssize_t i = 0; i < fromlist_count && complete; ++i) {
            complete = PyObject_HasAttr(module.get(), fromlist[i]);
        }
        if (complete) {
            return module.release();
        }
    } else {
        Py_ssize_t dot = PyUnicode_FindChar(key, '.', 0, PyUnicode_GET_LENGTH(key), 1);
        if (dot == -1) {
            return module.release();
        }
        if (dot == -2) {
            return nullptr;
        }
        // Without a from-list the caller wants the top-level package.
        Ref top_name = Ref::steal(PyUnicode_Substring(key, 0, dot));
        if (!top_name) {
            return nullptr;
        }
        module = Ref::steal(PyImport_GetModule(top_name.get()));
        if (module) {
            return module.release();
        }
        if (PyErr_Occurred()) {
            return nullptr;
        }
    }
    return import_through_machinery(name, fromlist, fromlist_count, globals, level);
}

PyObject* import_from(PyObject* module, PyObject* name) noexcept {
    if (PyObject* value = get_attribute(module, name)) {
        return value;
    }
    if (PyErr_ExceptionMatches(PyExc_AttributeError)) {
        PyErr_Clear();
        if (const char* module_name = PyModule_GetName(module)) {
            Ref full_name = Ref::steal(PyUnicode_FromFormat("%s.%U", module_name, name));
            if (full_name) {
                if (PyObject* submodule = PyImport_GetModule(full_name.get())) {
                    return submodule;
                }
            }
        }
    }
    PyErr_Format(PyExc_ImportError, "cannot import name %S", name);
    return nullptr;
}

}  // namespace runtime
