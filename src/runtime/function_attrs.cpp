// The attribute surface of the compiled function type: the getset table that
// mirrors a Python function's attributes, repr and __reduce__.
#include "function_slots.h"
#include "runtime/function.h"
#include "runtime/ref.h"

namespace runtime {

namespace {

// Replaces a strong field with a new reference to `value` (null allowed).
void replace_field(PyObject*& field, PyObject* value) noexcept {
    PyObject* old = field;
    field = Py_XNewRef(value);
    Py_XDECREF(old);
}

PyObject* get_doc(PyObject* self, void*) noexcept {
    CompiledFunction* f = as_function(self);
    if (f->doc == nullptr) {
        const char* doc = f->base.func.m_ml->ml_doc;
        if (doc == nullptr) {
            Py_RETURN_NONE;
        }
        f->doc = PyUnicode_FromString(doc);
        if (f->doc == nullptr) {
            return nullptr;
        }
    }
    return Py_NewRef(f->doc);
}

int set_doc(PyObject* self, PyObject* value, void*) noexcept {
    replace_field(as_function(self)->doc, value ? value : Py_None);
    return 0;
}

PyObject* get_name(PyObject* self, void*) noexcept {
    CompiledFunction* f = as_function(self);
    if (f->name == nullptr) {
        f->name = PyUnicode_InternFromString(f->base.func.m_ml->ml_name);
        if (f->name == nullptr) {
            return nullptr;
        }
    }
    return Py_NewRef(f->name);
}

int set_string_field(PyObject*& field, PyObject* value, const char* message) noexcept {
    if (value == nullptr || !PyUnicode_Check(value)) {
        PyErr_SetString(PyExc_TypeError, message);
        return -1;
    }
    replace_field(field, value);
    return 0;
}

int set_name(PyObject* self, PyObject* value, void*) noexcept {
    return set_string_field(as_function(self)->name, value,
                            "__name__ must be set to a string object");
}

PyObject* get_qualname(PyObject* self, void*) noexcept {
    return Py_NewRef(as_function(self)->qualname);
}

int set_qualname(PyObject* self, PyObject* value, void*) noexcept {
    return set_string_field(as_function(self)->qualname, value,
                            "__qualname__ must be set to a string object");
}

PyObject* get_globals(PyObject* self, void*) noexcept {
    return Py_NewRef(as_function(self)->globals);
}

PyObject* get_closure(PyObject*, void*) noexcept { Py_RETURN_NONE; }

PyObject* get_code(PyObject* self, void*) noexcept {
    PyObject* code = as_function(self)->code;
    return Py_NewRef(code ? code : Py_None);
}

// Fills both defaults fields from the defaults getter callback.
int init_defaults(CompiledFunction* f) noexcept {
    Ref pair = Ref::steal(f->defaults_getter(reinterpret_cast<PyObject*>(f)));
    if (!pair) {
        return -1;
    }
    replace_field(f->defaults, PyTuple_GET_ITEM(pair.get(), 0));
    replace_field(f->kwdefaults, PyTuple_GET_ITEM(pair.get(), 1));
    return 0;
}

PyObject* get_defaults_field(CompiledFunction* f, PyObject* CompiledFunction::* field) noexcept {
    if (f->*field == nullptr) {
        if (f->defaults_getter == nullptr) {
            Py_RETURN_NONE;
        }
        if (init_defaults(f) < 0) {
            return nullptr;
        }
    }
    return Py_XNewRef(f->*field);
}

// Stores the value even when a warnings filter turns the warning into an
// error; the error then reaches the assigning code instead of being left set
// behind a reported success.
int set_defaults_field(PyObject*& field, PyObject* value, unsigned long required_flag,
                       const char* type_message, const char* warning) noexcept {
    if (value == nullptr) {
        value = Py_None;
    }
    if (value != Py_None && !PyType_FastSubclass(Py_TYPE(value), required_flag)) {
        PyErr_SetString(PyExc_TypeError, type_message);
        return -1;
    }
    int warned = PyErr_WarnEx(PyExc_RuntimeWarning, warning, 1);
    replace_field(field, value);
    return warned < 0 ? -1 : 0;
}

PyObject* get_defaults(PyObject* self, void*) noexcept {
    return get_defaults_field(as_function(self), &CompiledFunction::defaults);
}

int set_defaults(PyObject* self, PyObject* value, void*) noexcept {
    return set_defaults_field(
        as_function(self)->defaults, value, Py_TPFLAGS_TUPLE_SUBCLASS,
        "__defaults__ must be set to a tuple object",
        "changes to compiled_function.__defaults__ will not currently affect the values used "
        "in function calls");
}

PyObject* get_kwdefaults(PyObject* self, void*) noexcept {
    return get_defaults_field(as_function(self), &CompiledFunction::kwdefaults);
}

int set_kwdefaults(PyObject* self, PyObject* value, void*) noexcept {
    return set_defaults_field(
        as_function(self)->kwdefaults, value, Py_TPFLAGS_DICT_SUBCLASS,
        "__kwdefaults__ must be set to a dict object",
        "changes to compiled_function.__kwdefaults__ will not currently affect the values used "
        "in function calls");
}

PyObject* get_annotations(PyObject* self, void*) noexcept {
    CompiledFunction* f = as_function(self);
    if (f->annotations == nullptr) {
        f->annotations = PyDict_New();
        if (f->annotations == nullptr) {
            return nullptr;
        }
    }
    return Py_NewRef(f->annotations);
}

int set_annotations(PyObject* self, PyObject* value, void*) noexcept {
    if (value == Py_None) {
        value = nullptr;
    } else if (value != nullptr && !PyDict_Check(value)) {
        PyErr_SetString(PyExc_TypeError, "__annotations__ must be set to a dict object");
        return -1;
    }
    replace_field(as_function(self)->annotations, value);
    return 0;
}

// asyncio.coroutines._is_coroutine for coroutine functions, False otherwise;
// the answer is kept after the first read.
PyObject* get_is_coroutine(PyObject* self, void*) noexcept {
    CompiledFunction* f = as_function(self);
    if (f->coroutine_marker != nullptr) {
        return Py_NewRef(f->coroutine_marker);
    }
    Ref result;
    if (f->flags & FUNCTION_COROUTINE) {
        Ref marker_name = Ref::steal(PyUnicode_InternFromString("_is_coroutine"));
        Ref module_name = Ref::steal(PyUnicode_InternFromString("asyncio.coroutines"));
        if (!marker_name || !module_name) {
            return nullptr;
        }
        Ref fromlist = Ref::steal(PyList_New(1));
        if (!fromlist) {
            return nullptr;
        }
        PyList_SET_ITEM(fromlist.get(), 0, Py_NewRef(marker_name.get()));
        Ref module = Ref::steal(PyImport_ImportModuleLevelObject(module_name.get(), nullptr,
                                                                 nullptr, fromlist.get(), 0));
        if (module) {
            getattrofunc getattro = Py_TYPE(module.get())->tp_getattro;
            result = Ref::steal(getattro ? getattro(module.get(), marker_name.get())
                                         : PyObject_GetAttr(module.get(), marker_name.get()));
        }
        if (!result) {
            PyErr_Clear();
            result = Ref::borrow(Py_True);
        }
    } else {
        result = Ref::borrow(Py_False);
    }
    // The import above may have run code that read the attribute meanwhile.
    if (f->coroutine_marker != nullptr) {
        return Py_NewRef(f->coroutine_marker);
    }
    f->coroutine_marker = Py_NewRef(result.get());
    return result.release();
}

PyObject* function_reduce(PyObject* self, PyObject*) noexcept {
    return Py_NewRef(as_function(self)->qualname);
}

}  // namespace

PyObject* function_repr(PyObject* self) noexcept {
    return PyUnicode_FromFormat("<compiled_function %U at %p>", as_function(self)->qualname, self);
}

PyGetSetDef function_getset[] = {
    {"func_doc", get_doc, set_doc, nullptr, nullptr},
    {"__doc__", get_doc, set_doc, nullptr, nullptr},
    {"func_name", get_name, set_name, nullptr, nullptr},
    {"__name__", get_name, set_name, nullptr, nullptr},
    {"__qualname__", get_qualname, set_qualname, nullptr, nullptr},
    {"func_dict", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
    {"__dict__", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
    {"func_globals", get_globals, nullptr, nullptr, nullptr},
    {"__globals__", get_globals, nullptr, nullptr, nullptr},
    {"func_closure", get_closure, nullptr, nullptr, nullptr},
    {"__closure__", get_closure, nullptr, nullptr, nullptr},
    {"func_code", get_code, nullptr, nullptr, nullptr},
    {"__code__", get_code, nullptr, nullptr, nullptr},
    {"func_defaults", get_defaults, set_defaults, nullptr, nullptr},
    {"__defaults__", get_defaults, set_defaults, nullptr, nullptr},
    {"__kwdefaults__", get_kwdefaults, set_kwdefaults, nullptr, nullptr},
    {"__annotations__", get_annotations, set_annotations, nullptr, nullptr},
    {"_is_coroutine", get_is_coroutine, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef function_methods[] = {
    {"__reduce__", function_reduce, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace runtime
