// Slot functions of the compiled function type, shared between the files
// that implement them and the type specification in function.cpp.
#pragma once

#include <Python.h>

#include "runtime/compat.h"
#include "runtime/function.h"

namespace runtime {

// Vectorcall entries, one per call convention; the constructor stores one.
PyObject* function_vectorcall_noargs(PyObject* self, PyObject* const* args, size_t nargsf,
                                     PyObject* kwnames) noexcept;
PyObject* function_vectorcall_o(PyObject* self, PyObject* const* args, size_t nargsf,
                                PyObject* kwnames) noexcept;
PyObject* function_vectorcall_fastcall_keywords(PyObject* self, PyObject* const* args,
                                                size_t nargsf, PyObject* kwnames) noexcept;
PyObject* function_vectorcall_fastcall_keywords_method(PyObject* self, PyObject* const* args,
                                                       size_t nargsf, PyObject* kwnames) noexcept;

PyObject* function_call(PyObject* self, PyObject* args, PyObject* kwargs) noexcept;
PyObject* function_descr_get(PyObject* self, PyObject* instance, PyObject* owner) noexcept;
PyObject* function_repr(PyObject* self) noexcept;

extern PyGetSetDef function_getset[];
extern PyMethodDef function_methods[];

// Raises the TypeError of a class-member function called without its receiver.
PyObject* raise_needs_argument(PyObject* self) noexcept;

// Runs `call`, the body of a call of `self`, as one level of the
// interpreter's recursion guard, as CPython enters every built-in function:
// recursion through compiled functions then ends in RecursionError instead
// of overflowing the C stack.  Within the guard, as a Python function's
// frame would, the call reports its start and end to the sys.monitoring
// tools that listen for them.
template <typename Call>
inline PyObject* call_guarded(PyObject* self, Call call) noexcept {
    RecursionLevel level;
    if (!level.enter()) {
        return nullptr;
    }
    CompiledFunction* f = as_function(self);
    PyObject* result = f->monitoring.listening() ? f->monitoring.observe(f->code, call) : call();
    level.leave();
    return result;
}

// The common prologue of the vectorcall entries: the count decoded and the
// receiver taken (a class member takes it from the front of the vector, any
// other function is its own), then entry(receiver, args, nargs).
template <typename Entry>
inline PyObject* with_receiver(PyObject* self, PyObject* const* args, size_t nargsf,
                               Entry entry) noexcept {
    Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    CompiledFunction* f = as_function(self);
    PyObject* receiver = f->base.func.m_self;
    if ((f->flags & (FUNCTION_CLASS_MEMBER | FUNCTION_STATIC)) == FUNCTION_CLASS_MEMBER) {
        if (nargs == 0) {
            return raise_needs_argument(self);
        }
        receiver = args[0];
        ++args;
        --nargs;
    }
    return entry(receiver, args, nargs);
}

}  // namespace runtime
