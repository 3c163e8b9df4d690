// geometry.trigonometry: the module definition, its create and exec slots and
// the process-wide state record that the function bodies read.
#include <cstdio>

#include "function_rows.h"
#include "module_state.h"
#include "runtime/function.h"
#include "runtime/ref.h"
#include "runtime/shared_types.h"
#include "runtime/traceback.h"

namespace geometry {

using runtime::Ref;

ModuleState state;

namespace {

constexpr const char source_path[] = "quorvel/geometry/trigonometry.py";
constexpr const char init_name[] = "init geometry.trigonometry";

// The interpreter that first created the module; the state serves it alone.
PY_INT64_T main_interpreter_id = -1;

// Replaces a state field with a reference the caller owns.
template <typename T>
void store(T*& field, PyObject* value) noexcept {
    PyObject* old = reinterpret_cast<PyObject*>(field);
    field = reinterpret_cast<T*>(value);
    Py_XDECREF(old);
}

PyObject* module_create(PyObject* spec, PyModuleDef*) noexcept {
    PY_INT64_T id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) {
        return nullptr;
    }
    if (main_interpreter_id == -1) {
        main_interpreter_id = id;
    } else if (id != main_interpreter_id) {
        PyErr_SetString(PyExc_ImportError,
                        "Interpreter change detected - this module can only be loaded into one "
                        "interpreter per process.");
        return nullptr;
    }
    if (state.module != nullptr) {
        return Py_NewRef(state.module);
    }
    Ref name = Ref::steal(PyObject_GetAttrString(spec, "name"));
    if (!name) {
        return nullptr;
    }
    Ref module = Ref::steal(PyModule_NewObject(name.get()));
    if (!module) {
        return nullptr;
    }
    PyObject* dict = PyModule_GetDict(module.get());
    if (dict == nullptr) {
        return nullptr;
    }
    static constexpr const char* copied[][2] = {
        {"loader", "__loader__"},
        {"origin", "__file__"},
        {"parent", "__package__"},
        {"submodule_search_locations", "__path__"},
    };
    for (const auto& [from, to] : copied) {
        Ref value = Ref::steal(PyObject_GetAttrString(spec, from));
        if (!value) {
            if (!PyErr_ExceptionMatches(PyExc_AttributeError)) {
                return nullptr;
            }
            PyErr_Clear();
            continue;
        }
        bool is_path = to == copied[3][1];
        if (is_path && value.get() == Py_None) {
            continue;
        }
        if (PyDict_SetItemString(dict, to, value.get()) < 0) {
            return nullptr;
        }
    }
    return module.release();
}

// The version of CPython that the module was compiled for, checked against
// the runtime's at start-up: any micro version of the same minor version
// serves.
int check_runtime_version() noexcept {
    constexpr unsigned long compiled = PY_VERSION_HEX >> 16;
    if ((Py_Version >> 16) == compiled) {
        return 0;
    }
    char message[200];
    std::snprintf(message, sizeof message,
                  "compile time Python version %d.%d of module '%.100s' %s runtime version %d.%d",
                  PY_MAJOR_VERSION, PY_MINOR_VERSION, "geometry.trigonometry", "does not match",
                  static_cast<int>((Py_Version >> 24) & 0xff),
                  static_cast<int>((Py_Version >> 16) & 0xff));
    return PyErr_WarnEx(nullptr, message, 1);
}

// Creates the function of `row` with its annotations (and its defaults
// tuple, for the one function with a default) and stores it in the module
// dictionary.
int publish_function(const FunctionRow& row, PyMethodDef* definition, PyObject* code) noexcept {
    Ref annotations = Ref::steal(PyDict_New());
    if (!annotations) {
        return -1;
    }
    for (const Annotation& annotation : row.annotations) {
        if (PyDict_SetItem(annotations.get(), pool(annotation.key), pool(annotation.text)) < 0) {
            return -1;
        }
    }
    PyObject* defaults = row.required_count < row.argument_count ? state.arctan_defaults : nullptr;
    Ref function = Ref::steal(runtime::function_new(
        state.function_type, definition, pool(row.name.entry), pool(POOL_MODULE_NAME),
        state.module_dict, code, defaults, annotations.get()));
    if (!function) {
        return -1;
    }
    return PyDict_SetItem(state.module_dict, pool(row.name.entry), function.get());
}

// The steps of module execution after the constant pool exists; each failure
// reports the line that it returns through `line`.  `registered` tells
// whether the module entered itself in sys.modules.
int exec_with_pool(PyObject* module, int& line, bool& registered) noexcept {
    line = 1;
    PyTypeObject* metatype;
    PyTypeObject* function_type;
    if (runtime::fetch_function_types(&metatype, &function_type) < 0) {
        return -1;
    }
    store(state.metatype, reinterpret_cast<PyObject*>(metatype));
    store(state.function_type, reinterpret_cast<PyObject*>(function_type));

    PyObject* modules = PyImport_GetModuleDict();
    int present = PyDict_Contains(modules, pool(POOL_MODULE_NAME));
    if (present < 0 ||
        (present == 0 && PyDict_SetItem(modules, pool(POOL_MODULE_NAME), module) < 0)) {
        return -1;
    }
    registered = present == 0;
    // arctan's __defaults__: its one defaulted parameter's constant.
    store(state.arctan_defaults,
          PyTuple_Pack(1, int_constant(function_rows[ARCTAN].default_value).object()));
    if (state.arctan_defaults == nullptr) {
        return -1;
    }
    if (build_code_objects() < 0) {
        return -1;
    }
    if (import_constants() < 0) {
        return -1;
    }
    line = 2;
    if (import_algebra() < 0) {
        return -1;
    }
    for (int i = 0; i < function_count; ++i) {
        line = function_rows[i].def_line;
        if (publish_function(function_rows[i], &function_defs[i], state.code_objects[i]) < 0) {
            return -1;
        }
    }
    line = 1;
    Ref test = Ref::steal(PyDict_New());
    if (!test || PyDict_SetItem(state.module_dict, pool(POOL_DUNDER_TEST), test.get()) < 0) {
        return -1;
    }
    return 0;
}

// A failed start-up takes back the sys.modules entry that it made, so that no
// later import finds the half-built module there.  The importer's own entry,
// made when the library is loaded under this name, is the importer's to undo.
void unregister(PyObject* module) noexcept {
    Ref exception = Ref::steal(PyErr_GetRaisedException());
    PyObject* modules = PyImport_GetModuleDict();
    PyObject* entry = PyDict_GetItemWithError(modules, pool(POOL_MODULE_NAME));
    if (entry == module && PyDict_DelItem(modules, pool(POOL_MODULE_NAME)) < 0) {
        PyErr_WriteUnraisable(module);
    }
    // The start-up's own exception is the one the importer sees.
    PyErr_SetRaisedException(exception.release());
}

int module_exec(PyObject* module) noexcept {
    if (state.module != nullptr) {
        if (state.module == module) {
            return 0;
        }
        PyErr_SetString(PyExc_RuntimeError,
                        "Module 'trigonometry' has already been imported. Re-initialisation is "
                        "not supported.");
        return -1;
    }
    store(state.module, Py_NewRef(module));
    bool pool_ready = false;
    bool registered = false;
    int line = 1;
    int result = [&]() noexcept -> int {
        PyObject* dict = PyModule_GetDict(module);
        if (dict == nullptr) {
            return -1;
        }
        store(state.module_dict, Py_NewRef(dict));
        PyObject* builtins = PyImport_AddModule("builtins");
        if (builtins == nullptr) {
            return -1;
        }
        store(state.builtins, Py_NewRef(builtins));
        if (PyImport_AddModule("compiled_runtime") == nullptr) {
            return -1;
        }
        if (PyObject_SetAttrString(module, "__builtins__", state.builtins) < 0) {
            return -1;
        }
        if (check_runtime_version() < 0) {
            return -1;
        }
        store(state.empty_tuple, PyTuple_New(0));
        store(state.empty_bytes, PyBytes_FromStringAndSize("", 0));
        if (state.empty_tuple == nullptr || state.empty_bytes == nullptr) {
            return -1;
        }
        if (build_constant_pool() < 0) {
            return -1;
        }
        pool_ready = true;
        return exec_with_pool(module, line, registered);
    }();
    if (result == 0) {
        return 0;
    }
    if (pool_ready && state.module_dict != nullptr) {
        add_traceback(init_name, line);
    }
    if (registered) {
        unregister(module);
    }
    store(state.module, nullptr);
    return -1;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_create, reinterpret_cast<void*>(module_create)},
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {0, nullptr},
};

PyMethodDef module_methods[] = {
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "trigonometry",
    .m_doc = nullptr,
    .m_size = 0,
    .m_methods = module_methods,
    .m_slots = module_slots,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace

void add_traceback(const char* function_name, int line) noexcept {
    runtime::add_traceback(state.code_cache, state.module_dict, function_name, line, source_path);
}

}  // namespace geometry

PyMODINIT_FUNC PyInit_trigonometry(void) { return PyModuleDef_Init(&geometry::module_def); }
