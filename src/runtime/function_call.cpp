// Call entries of the compiled function type for every call convention it
// accepts, the tuple call behind type(f).__call__, and method binding.
#include <cstring>

#include "function_slots.h"
#include "runtime/function.h"
#include "runtime/ref.h"

namespace runtime {

namespace {

// Messages are formatted out of line, away from the entries' hot paths.
[[gnu::cold, gnu::noinline]] PyObject* raise_no_keywords(PyObject* self) noexcept {
    PyErr_Format(PyExc_TypeError, "%.200s() %s", method_def(self)->ml_name,
                 "takes no keyword arguments");
    return nullptr;
}

[[gnu::cold, gnu::noinline]] PyObject* raise_count(PyObject* self, const char* what,
                                                   Py_ssize_t given) noexcept {
    PyErr_Format(PyExc_TypeError, "%.200s() %s (%zd given)", method_def(self)->ml_name, what,
                 given);
    return nullptr;
}

[[gnu::cold, gnu::noinline]] PyObject* raise_bad_flags() noexcept {
    PyErr_SetString(PyExc_SystemError, "Bad call flags for CompiledFunction");
    return nullptr;
}

template <typename Entry>
Entry entry_of(PyObject* self) noexcept {
    return reinterpret_cast<Entry>(reinterpret_cast<void (*)(void)>(method_def(self)->ml_meth));
}

// Dispatch by call flags for a call that arrives as a tuple and a dict.
PyObject* call_by_flags(PyObject* self, PyObject* receiver, PyObject* args,
                        PyObject* kwargs) noexcept {
    bool has_keywords = kwargs != nullptr && PyDict_Size(kwargs) != 0;
    switch (method_def(self)->ml_flags & 0xf) {
        case METH_VARARGS:
            if (has_keywords) {
                return raise_no_keywords(self);
            }
            return call_guarded(
                self, [&]() noexcept { return entry_of<PyCFunction>(self)(receiver, args); });
        case METH_VARARGS | METH_KEYWORDS:
            return call_guarded(self, [&]() noexcept {
                return entry_of<PyCFunctionWithKeywords>(self)(receiver, args, kwargs);
            });
        case METH_NOARGS: {
            if (has_keywords) {
                return raise_no_keywords(self);
            }
            Py_ssize_t size = PyTuple_GET_SIZE(args);
            if (size != 0) {
                return raise_count(self, "takes no arguments", size);
            }
            return call_guarded(
                self, [&]() noexcept { return entry_of<PyCFunction>(self)(receiver, nullptr); });
        }
        case METH_O: {
            if (has_keywords) {
                return raise_no_keywords(self);
            }
            Py_ssize_t size = PyTuple_GET_SIZE(args);
            if (size == 1) {
                return call_guarded(self, [&]() noexcept {
                    return entry_of<PyCFunction>(self)(receiver, PyTuple_GET_ITEM(args, 0));
                });
            }
            return raise_count(self, "takes exactly one argument", size);
        }
        default: return raise_bad_flags();
    }
}

// A tuple call with keywords for a function that has a vectorcall entry:
// the dict becomes a names tuple and the values follow the positionals.
PyObject* call_with_keyword_dict(PyObject* self, vectorcallfunc entry, PyObject* args,
                                 PyObject* kwargs) noexcept {
    Py_ssize_t nkw = PyDict_GET_SIZE(kwargs);
    Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    PyObject** stack =
        static_cast<PyObject**>(PyMem_Malloc(static_cast<size_t>(nargs + nkw) * sizeof(PyObject*)));
    if (stack == nullptr) {
        return PyErr_NoMemory();
    }
    std::memcpy(stack, &PyTuple_GET_ITEM(args, 0), static_cast<size_t>(nargs) * sizeof(PyObject*));
    Ref names = Ref::steal(PyTuple_New(nkw));
    if (!names) {
        PyMem_Free(stack);
        return nullptr;
    }
    Py_ssize_t pos = 0;
    Py_ssize_t index = 0;
    PyObject* key;
    PyObject* value;
    bool keys_are_strings = true;
    while (index < nkw && PyDict_Next(kwargs, &pos, &key, &value)) {
        keys_are_strings &= PyUnicode_Check(key) != 0;
        PyTuple_SET_ITEM(names.get(), index, Py_NewRef(key));
        stack[nargs + index] = Py_NewRef(value);
        ++index;
    }
    PyObject* result;
    if (!keys_are_strings) {
        PyErr_SetString(PyExc_TypeError, "keywords must be strings");
        result = nullptr;
    } else {
        result = entry(self, stack, static_cast<size_t>(nargs), names.get());
    }
    for (Py_ssize_t i = 0; i < index; ++i) {
        Py_DECREF(stack[nargs + i]);
    }
    PyMem_Free(stack);
    return result;
}

// The no-argument and single-argument entries differ only in the count
// that they accept.
template <Py_ssize_t arity>
PyObject* vectorcall_fixed_arity(PyObject* self, PyObject* const* args, size_t nargsf,
                                 PyObject* kwnames) noexcept {
    return with_receiver(
        self, args, nargsf,
        [&](PyObject* receiver, PyObject* const* args, Py_ssize_t nargs) noexcept -> PyObject* {
            if (kwnames != nullptr && PyTuple_GET_SIZE(kwnames) != 0) {
                return raise_no_keywords(self);
            }
            if (nargs != arity) {
                return raise_count(
                    self, arity == 0 ? "takes no arguments" : "takes exactly one argument", nargs);
            }
            return call_guarded(self, [&]() noexcept {
                return entry_of<PyCFunction>(self)(receiver, arity == 0 ? nullptr : args[0]);
            });
        });
}

}  // namespace

PyObject* function_vectorcall_noargs(PyObject* self, PyObject* const* args, size_t nargsf,
                                     PyObject* kwnames) noexcept {
    return vectorcall_fixed_arity<0>(self, args, nargsf, kwnames);
}

PyObject* function_vectorcall_o(PyObject* self, PyObject* const* args, size_t nargsf,
                                PyObject* kwnames) noexcept {
    return vectorcall_fixed_arity<1>(self, args, nargsf, kwnames);
}

[[gnu::cold, gnu::noinline]] PyObject* raise_needs_argument(PyObject* self) noexcept {
    PyErr_Format(PyExc_TypeError, "%.200s() %s", method_def(self)->ml_name, "needs an argument");
    return nullptr;
}

PyObject* function_vectorcall_fastcall_keywords(PyObject* self, PyObject* const* args,
                                                size_t nargsf, PyObject* kwnames) noexcept {
    return with_receiver(self, args, nargsf,
                         [&](PyObject* receiver, PyObject* const* args, Py_ssize_t nargs) noexcept {
                             return call_guarded(self, [&]() noexcept {
                                 return entry_of<PyCFunctionFastWithKeywords>(self)(receiver, args,
                                                                                    nargs, kwnames);
                             });
                         });
}

PyObject* function_vectorcall_fastcall_keywords_method(PyObject* self, PyObject* const* args,
                                                       size_t nargsf, PyObject* kwnames) noexcept {
    return with_receiver(self, args, nargsf,
                         [&](PyObject* receiver, PyObject* const* args, Py_ssize_t nargs) noexcept {
                             return call_guarded(self, [&]() noexcept {
                                 return entry_of<PyCMethod>(self)(receiver,
                                                                  as_function(self)->base.mm_class,
                                                                  args, nargs, kwnames);
                             });
                         });
}

PyObject* function_call(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    CompiledFunction* f = as_function(self);
    if (vectorcallfunc entry = f->base.func.vectorcall) {
        if (kwargs != nullptr && PyDict_GET_SIZE(kwargs) != 0) {
            return call_with_keyword_dict(self, entry, args, kwargs);
        }
        return entry(self, &PyTuple_GET_ITEM(args, 0), static_cast<size_t>(PyTuple_GET_SIZE(args)),
                     nullptr);
    }
    if ((f->flags & (FUNCTION_CLASS_MEMBER | FUNCTION_STATIC)) == FUNCTION_CLASS_MEMBER) {
        Ref rest = Ref::steal(PyTuple_GetSlice(args, 1, PY_SSIZE_T_MAX));
        if (!rest) {
            return nullptr;
        }
        PyObject* receiver = PyTuple_GetItem(args, 0);
        if (receiver == nullptr) {
            PyErr_Format(PyExc_TypeError, "unbound method %.200S() needs an argument", f->qualname);
            return nullptr;
        }
        return call_by_flags(self, receiver, rest.get(), kwargs);
    }
    return call_by_flags(self, f->base.func.m_self, args, kwargs);
}

PyObject* function_descr_get(PyObject* self, PyObject* instance, PyObject*) noexcept {
    if (instance == nullptr) {
        return Py_NewRef(self);
    }
    return PyMethod_New(self, instance);
}

}  // namespace runtime
