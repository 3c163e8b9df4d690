// Test-only module: a second user of the shared compiled function type.
// make(name, code=None) builds a function of that type from one of the
// definitions below; every entry reports its receiver and arguments (None for
// a null pointer).
#include <Python.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "runtime/function.h"
#include "runtime/ref.h"
#include "runtime/shared_types.h"

namespace {

using runtime::Ref;

PyTypeObject* function_type = nullptr;  // the shared type, fetched at the first import
Py_ssize_t entry_calls = 0;             // how often any entry function reported

PyObject* report(std::initializer_list<PyObject*> items) noexcept {
    ++entry_calls;
    PyObject* result = PyTuple_New(static_cast<Py_ssize_t>(items.size()));
    for (Py_ssize_t i = 0; result != nullptr && i < PyTuple_GET_SIZE(result); ++i) {
        PyObject* item = items.begin()[i];
        PyTuple_SET_ITEM(result, i, Py_NewRef(item != nullptr ? item : Py_None));
    }
    return result;
}

// A count that still carries the offset bit is negative here: PyTuple_New refuses it.
PyObject* tuple_of(PyObject* const* items, Py_ssize_t count) noexcept {
    PyObject* result = PyTuple_New(count);
    for (Py_ssize_t i = 0; result != nullptr && i < count; ++i) {
        PyTuple_SET_ITEM(result, i, Py_NewRef(items[i]));
    }
    return result;
}

// One entry per call signature; the fast ones report (self, defining class,
// positional tuple, keyword names, keyword values).
PyObject* single_entry(PyObject* self, PyObject* arg) noexcept {  // NOARGS, O, VARARGS
    return report({self, arg});
}

PyObject* keywords_entry(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    return report({self, args, kwargs});
}

PyObject* method_entry(PyObject* self, PyTypeObject* cls, PyObject* const* args, size_t nargs,
                       PyObject* kwnames) noexcept {
    Py_ssize_t n = static_cast<Py_ssize_t>(nargs), nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    Ref positional = Ref::steal(tuple_of(args, n));
    Ref values = Ref::steal(positional ? tuple_of(args + n, nkw) : nullptr);
    if (!positional || !values) {
        return nullptr;
    }
    PyObject* defining_class = reinterpret_cast<PyObject*>(cls);
    return report({self, defining_class, positional.get(), kwnames, values.get()});
}

PyObject* fast_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept {
    return method_entry(self, nullptr, args, static_cast<size_t>(nargs), kwnames);
}

// Entries that break the error convention, as a faulty native callee would.
PyObject* silent_failure_entry(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) noexcept {
    return nullptr;  // no exception set
}

PyObject* stray_error_entry(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) noexcept {
    PyErr_SetString(PyExc_KeyError, "stray");
    return Py_NewRef(Py_None);  // a result with the exception still set
}

template <typename Function>
PyCFunction entry(Function function) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

constexpr int FAST = METH_FASTCALL | METH_KEYWORDS;
constexpr int VARKW = METH_VARARGS | METH_KEYWORDS;
constexpr std::int32_t MEMBER = runtime::FUNCTION_CLASS_MEMBER;
// Not a function flag: made from `placeholder` (no vectorcall entry), then given
// its own definition, so that calls reach the tuple call's dispatch by call flags.
constexpr std::int32_t RETARGET = 1 << 16;
PyMethodDef placeholder = {"placeholder", entry(keywords_entry), VARKW, nullptr};

struct Kind {
    PyMethodDef def;
    std::int32_t flags;
} kinds[] = {
    {{"noargs", single_entry, METH_NOARGS, "Takes nothing."}, 0},
    {{"onearg", single_entry, METH_O, nullptr}, 0},
    {{"varkw", entry(keywords_entry), VARKW, nullptr}, 0},
    {{"varargs_only", single_entry, METH_VARARGS, nullptr}, 0},
    {{"fastkw", entry(fast_entry), FAST, nullptr}, 0},
    {{"member_fastkw", entry(fast_entry), FAST, nullptr}, MEMBER},
    {{"static_fastkw", entry(fast_entry), FAST, nullptr}, MEMBER | runtime::FUNCTION_STATIC},
    {{"member_noargs", single_entry, METH_NOARGS, nullptr}, MEMBER},
    {{"method", entry(method_entry), METH_METHOD | FAST, nullptr}, 0},
    {{"member_method", entry(method_entry), METH_METHOD | FAST, nullptr}, MEMBER},
    {{"member_varkw", entry(keywords_entry), VARKW, nullptr}, MEMBER},
    {{"coroutine", entry(fast_entry), FAST, nullptr}, runtime::FUNCTION_COROUTINE},
    {{"dispatch_varargs", single_entry, METH_VARARGS, nullptr}, RETARGET},
    {{"dispatch_noargs", single_entry, METH_NOARGS, nullptr}, RETARGET},
    {{"dispatch_onearg", single_entry, METH_O, nullptr}, RETARGET},
    {{"dispatch_bad", entry(fast_entry), METH_FASTCALL, nullptr}, RETARGET},
    {{"silent_failure", entry(silent_failure_entry), FAST, nullptr}, 0},
    {{"stray_error", entry(stray_error_entry), FAST, nullptr}, 0},
};

// make(name, code=None): a new function of the kind `name`, qualified name
// "Probe.<name>", with `code` as its code object.  The METH_METHOD kinds get
// the shared type itself as their defining class.
PyObject* probe_make(PyObject* module, PyObject* args) noexcept {
    PyObject* arg;
    PyObject* code = Py_None;
    if (!PyArg_ParseTuple(args, "U|O:make", &arg, &code)) {
        return nullptr;
    }
    const char* name = PyUnicode_AsUTF8(arg);
    Kind* kind = nullptr;
    for (Kind& candidate : kinds) {
        if (name != nullptr && std::strcmp(candidate.def.ml_name, name) == 0) {
            kind = &candidate;
        }
    }
    if (kind == nullptr) {
        return name != nullptr ? PyErr_Format(PyExc_ValueError, "no kind %s", name) : nullptr;
    }
    Ref qualname = Ref::steal(PyUnicode_FromFormat("Probe.%s", name));
    Ref module_name = Ref::steal(PyModule_GetNameObject(module));
    PyObject* made =
        !qualname || !module_name
            ? nullptr
            : runtime::function_new(
                  function_type, kind->flags & RETARGET ? &placeholder : &kind->def, qualname.get(),
                  module_name.get(), PyModule_GetDict(module), code != Py_None ? code : nullptr);
    if (made != nullptr) {
        runtime::CompiledFunction* function = runtime::as_function(made);
        function->flags |= kind->flags & ~RETARGET;
        function->base.func.m_ml = &kind->def;
        if (kind->def.ml_flags & METH_METHOD) {
            function->base.mm_class = reinterpret_cast<PyTypeObject*>(Py_NewRef(function_type));
        }
    }
    return made;
}

// call_slot(callable, args, kwargs dict or None): the type's call slot itself,
// so that the keyword dict reaches it without the interpreter's own checks.
PyObject* probe_call_slot(PyObject*, PyObject* args) noexcept {
    PyObject *callable, *positional, *kwargs;
    if (!PyArg_ParseTuple(args, "OO!O:call_slot", &callable, &PyTuple_Type, &positional, &kwargs)) {
        return nullptr;
    }
    return Py_TYPE(callable)->tp_call(callable, positional, kwargs != Py_None ? kwargs : nullptr);
}

PyMethodDef probe_methods[] = {
    {"make", probe_make, METH_VARARGS, nullptr},
    {"call_slot", probe_call_slot, METH_VARARGS, nullptr},
    {"calls", [](PyObject*, PyObject*) noexcept { return PyLong_FromSsize_t(entry_calls); },
     METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef probe_module = {PyModuleDef_HEAD_INIT,
                            "calls_probe",
                            nullptr,
                            -1,
                            probe_methods,
                            nullptr,
                            nullptr,
                            nullptr,
                            nullptr};

}  // namespace

PyMODINIT_FUNC PyInit_calls_probe() {
    PyTypeObject* metatype = nullptr;
    if (function_type == nullptr && runtime::fetch_function_types(&metatype, &function_type) < 0) {
        return nullptr;
    }
    Py_XDECREF(metatype);  // the registry keeps it
    return PyModule_Create(&probe_module);
}
