// Test-only module: the runtime's number helpers, name lookup, calls, code
// cache and traceback routine, exposed as plain built-in functions.
#include <Python.h>

#include <string_view>

#include "runtime/function.h"
#include "runtime/lookup.h"
#include "runtime/numbers.h"
#include "runtime/ref.h"
#include "runtime/shared_types.h"
#include "runtime/traceback.h"

namespace {

using runtime::BinaryOp;
using runtime::Ref;

PyTypeObject* function_type = nullptr;  // the shared compiled function type
runtime::CodeCache cache;               // the one cache behind cache() and add_traceback

PyObject* truth(int result) noexcept { return result < 0 ? nullptr : PyLong_FromLong(result); }

// number(op, a, b=None, c=0): the helper named `op` with its operands in the
// order of its signature; `c` is the machine value k of the constant, the
// in-place flag, or the comparison code of "compare".
PyObject* probe_number(PyObject*, PyObject* args) noexcept {
    const char* op;
    PyObject *a, *b = Py_None;
    long c = 0;
    if (!PyArg_ParseTuple(args, "sO|Ol", &op, &a, &b, &c)) return nullptr;
    std::string_view name(op);
    // The constant operand with its machine value; "rem", "add", "radd" and
    // "eq" are used only with 360, 1, 1 and 0.
    using runtime::IntConstant;
    if (name == "rsub") return runtime::num_rsub_const(IntConstant{c, &a}, b);
    if (name == "rem") return runtime::num_rem_const(a, IntConstant{360, &b});
    if (name == "isub") return runtime::num_isub_const(a, IntConstant{c, &b});
    if (name == "truediv") return runtime::num_truediv_const(a, IntConstant{c, &b});
    if (name == "add") return runtime::num_add_const(a, IntConstant{1, &b}, c != 0);
    if (name == "radd") return runtime::num_radd_const(IntConstant{1, &a}, b);
    if (name == "rmul") return runtime::num_rmul_const(IntConstant{c, &a}, b);
    if (name == "abs") return runtime::num_abs(a);
    if (name == "eq") return truth(runtime::num_eq_const(a, IntConstant{0, &b}));
    if (name == "is_true") return truth(runtime::num_is_true(a));
    if (name == "+") return runtime::num_binary<BinaryOp::add>(a, b, c != 0);
    if (name == "-") return runtime::num_binary<BinaryOp::subtract>(a, b, c != 0);
    if (name == "*") return runtime::num_binary<BinaryOp::multiply>(a, b, c != 0);
    if (name == "/") return runtime::num_binary<BinaryOp::true_divide>(a, b, c != 0);
    if (name == "negative") return runtime::num_negative(a);
    if (name == "compare") return truth(runtime::num_compare(a, b, static_cast<int>(c)));
    return PyErr_Format(PyExc_ValueError, "no number helper %s", op);
}

// int64(x): an exact int's value when it fits in 64 bits, else None.
PyObject* probe_int64(PyObject*, PyObject* x) noexcept {
    if (!PyLong_CheckExact(x)) return PyErr_Format(PyExc_TypeError, "an exact int, please");
    std::int64_t value;
    bool compact;
    return runtime::int64_value(x, value, compact) ? PyLong_FromLongLong(value)
                                                   : Py_NewRef(Py_None);
}

// int_remainder(x, divisor): the floor remainder of an exact int read from
// its export, for a divisor in [1, 2**31).
PyObject* probe_int_remainder(PyObject*, PyObject* args) noexcept {
    PyObject* x;
    long long divisor;
    if (!PyArg_ParseTuple(args, "O!L", &PyLong_Type, &x, &divisor)) return nullptr;
    if (!PyLong_CheckExact(x) || divisor < 1 || divisor >= (1LL << 31)) {
        return PyErr_Format(PyExc_ValueError, "an exact int and a divisor in [1, 2**31)");
    }
    PyLongExport exported;
    if (PyLong_Export(x, &exported) < 0) return nullptr;
    std::int64_t remainder = runtime::export_remainder(exported, divisor);
    PyLong_FreeExport(&exported);
    return PyLong_FromLongLong(remainder);
}

PyObject* probe_exception_matches(PyObject*, PyObject* args) noexcept {
    PyObject *raised, *wanted;
    if (!PyArg_ParseTuple(args, "OO", &raised, &wanted)) return nullptr;
    return PyLong_FromLong(runtime::exception_matches(raised, wanted));
}

// call(callable, offset, *args): call_object with the arguments after `offset`,
// whose slot is the spare one that the callee may use when `offset` is True.
PyObject* probe_call(PyObject*, PyObject* args) noexcept {
    Py_ssize_t n = PyTuple_GET_SIZE(args) - 2;
    if (n < 0) return PyErr_Format(PyExc_TypeError, "call(f, offset, *args)");
    size_t flag = Py_IsTrue(PyTuple_GET_ITEM(args, 1)) ? PY_VECTORCALL_ARGUMENTS_OFFSET : 0;
    return runtime::call_object(function_type, PyTuple_GET_ITEM(args, 0),
                                &PyTuple_GET_ITEM(args, 2), static_cast<size_t>(n) | flag);
}

// The name's hash is computed first, as interning does for the pool's names.
PyObject* probe_get_module_global(PyObject*, PyObject* args) noexcept {
    PyObject *globals, *builtins, *name;
    if (!PyArg_ParseTuple(args, "O!OU", &PyDict_Type, &globals, &builtins, &name)) return nullptr;
    return PyObject_Hash(name) == -1 ? nullptr
                                     : runtime::get_module_global(globals, builtins, name);
}

// cache(line=0, code=None, reset=False) -> (count, capacity, [(line, code)]),
// after inserting `code` if given; `reset` then starts a fresh cache.
PyObject* probe_cache(PyObject*, PyObject* args) noexcept {
    int line = 0, reset = 0;
    PyObject* code = Py_None;
    if (!PyArg_ParseTuple(args, "|iOp", &line, &code, &reset)) return nullptr;
    if (code != Py_None && !PyCode_Check(code)) return PyErr_Format(PyExc_TypeError, "not code");
    if (code != Py_None) runtime::code_cache_insert(cache, line, code);
    Ref entries = Ref::steal(PyList_New(0));
    for (int i = 0; entries && i < cache.count; ++i) {
        Ref entry = Ref::steal(Py_BuildValue("(iO)", cache.entries[i].line, cache.entries[i].code));
        if (!entry || PyList_Append(entries.get(), entry.get()) < 0) return nullptr;
    }
    PyObject* state =
        entries ? Py_BuildValue("(iiO)", cache.count, cache.capacity, entries.get()) : nullptr;
    if (state != nullptr && reset) {
        for (int i = 0; i < cache.count; ++i) Py_DECREF(cache.entries[i].code);
        PyMem_Free(cache.entries);
        cache = runtime::CodeCache();
    }
    return state;
}

// add_traceback(name, line, globals, trigger=None): raises what trigger() raises,
// or ValueError("probe failure"), and adds the entry for it; with trigger False
// the entry is asked for with no exception set.  The name is bytes, so that one
// which is not UTF-8 can make the code object fail.
PyObject* probe_add_traceback(PyObject*, PyObject* args) noexcept {
    const char* name;
    int line;
    PyObject *globals, *trigger = Py_None;
    if (!PyArg_ParseTuple(args, "yiO|O", &name, &line, &globals, &trigger)) return nullptr;
    if (trigger == Py_None)
        PyErr_SetString(PyExc_ValueError, "probe failure");
    else if (trigger != Py_False) {
        if (Ref result = Ref::steal(PyObject_CallNoArgs(trigger))) return Py_NewRef(Py_None);
    }
    runtime::add_traceback(cache, globals, name, line, "quorvel/geometry/trigonometry.py");
    return nullptr;
}

// Built-ins for the direct call path: a null result without an error, and the
// self it is given (None for null).
PyObject* null_result(PyObject*, PyObject*) noexcept { return nullptr; }
PyObject* report_self(PyObject* self, PyObject* x) noexcept {
    return PyTuple_Pack(2, self != nullptr ? self : Py_None, x);
}

PyMethodDef compiled_null_def = {"compiled_null", null_result, METH_O, nullptr};
PyMethodDef static_reporter_def = {"static_reporter", report_self, METH_O | METH_STATIC, nullptr};

PyMethodDef probe_methods[] = {
    {"number", probe_number, METH_VARARGS, nullptr},
    {"int64", probe_int64, METH_O, nullptr},
    {"int_remainder", probe_int_remainder, METH_VARARGS, nullptr},
    {"exception_matches", probe_exception_matches, METH_VARARGS, nullptr},
    {"call", probe_call, METH_VARARGS, nullptr},
    {"get_module_global", probe_get_module_global, METH_VARARGS, nullptr},
    {"cache", probe_cache, METH_VARARGS, nullptr},
    {"add_traceback", probe_add_traceback, METH_VARARGS, nullptr},
    {"null_result", null_result, METH_O, nullptr},
    {"reporter", report_self, METH_O, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

// Adds compiled_null, a METH_O function of the shared type, and
// static_reporter, bound to the module but flagged METH_STATIC.
int probe_exec(PyObject* module) noexcept {
    PyTypeObject* metatype = nullptr;
    if (!function_type && runtime::fetch_function_types(&metatype, &function_type) < 0) return -1;
    Py_XDECREF(metatype);  // the registry keeps it
    Ref qualname = Ref::steal(PyUnicode_FromString("compiled_null"));
    if (!qualname) return -1;
    Ref compiled_null =
        Ref::steal(runtime::function_new(function_type, &compiled_null_def, qualname.get(), nullptr,
                                         PyModule_GetDict(module), nullptr));
    Ref static_reporter = Ref::steal(PyCFunction_New(&static_reporter_def, module));
    bool added = compiled_null && static_reporter &&
                 PyModule_AddObjectRef(module, "compiled_null", compiled_null.get()) == 0 &&
                 PyModule_AddObjectRef(module, "static_reporter", static_reporter.get()) == 0;
    return added ? 0 : -1;
}

PyModuleDef_Slot probe_slots[] = {{Py_mod_exec, reinterpret_cast<void*>(probe_exec)}, {0, nullptr}};
PyModuleDef probe_module = {PyModuleDef_HEAD_INIT, "runtime_probe", nullptr, 0,      probe_methods,
                            probe_slots,           nullptr,         nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit_runtime_probe() { return PyModuleDef_Init(&probe_module); }
