// Module-level name lookup, calls of looked-up objects and exception matching.
#include "runtime/lookup.h"

#include "runtime/compat.h"

namespace runtime {

namespace {

bool is_exception_class(PyObject* object) noexcept {
    return PyType_FastSubclass(Py_TYPE(object), Py_TPFLAGS_TYPE_SUBCLASS) &&
           PyType_FastSubclass(reinterpret_cast<PyTypeObject*>(object),
                               Py_TPFLAGS_BASE_EXC_SUBCLASS);
}

[[gnu::cold, gnu::noinline]] PyObject* raise_name_error(PyObject* name) noexcept {
    PyErr_Format(PyExc_NameError, "name '%U' is not defined", name);
    return nullptr;
}

// A native callee entered directly must keep the error convention, as the
// interpreter's call machinery checks: a null result comes with an exception,
// a result comes without one.  Out of line, off the path of a good result.
[[gnu::noinline]] PyObject* bad_function_result(PyObject* callable, PyObject* result) noexcept {
    if (result == nullptr) {
        PyErr_SetString(PyExc_SystemError, "NULL result without error in PyObject_Call");
        return nullptr;
    }
    Ref dropped = Ref::steal(result);
    // The callee's exception becomes the cause and context of the new one.
    Ref cause = Ref::steal(PyErr_GetRaisedException());
    PyErr_Format(PyExc_SystemError, "%R returned a result with an exception set", callable);
    Ref error = Ref::steal(PyErr_GetRaisedException());
    PyException_SetCause(error.get(), Py_NewRef(cause.get()));
    PyException_SetContext(error.get(), cause.release());
    PyErr_SetRaisedException(error.release());
    return nullptr;
}

inline PyObject* checked_result(PyObject* callable, PyObject* result) noexcept {
    if ((result == nullptr) == (PyErr_Occurred() != nullptr)) {
        return result;
    }
    return bad_function_result(callable, result);
}

}  // namespace

PyObject* get_module_global(PyObject* globals, PyObject* builtins, PyObject* name) noexcept {
    PyObject* value;
    int found = PyDict_GetItemRef(globals, name, &value);
    if (found > 0) {
        return value;
    }
    if (found < 0) {
        PyErr_Clear();  // an error of the probe itself is dropped
    }
    if (PyObject_GetOptionalAttr(builtins, name, &value) == 0) {
        return raise_name_error(name);
    }
    return value;
}

PyObject* call_c_function(PyObject* function, PyObject* argument) noexcept {
    auto* f = reinterpret_cast<PyCFunctionObject*>(function);
    PyObject* self = (f->m_ml->ml_flags & METH_STATIC) ? nullptr : f->m_self;
    PyCFunction entry = f->m_ml->ml_meth;
    if (Py_EnterRecursiveCall(" while calling a Python object")) {
        return nullptr;
    }
    PyObject* result = entry(self, argument);
    Py_LeaveRecursiveCall();
    return checked_result(function, result);
}

PyObject* call_object(PyTypeObject* function_type, PyObject* callable, PyObject* const* args,
                      size_t nargsf) noexcept {
    Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    PyTypeObject* type = Py_TYPE(callable);
    if (nargs == 1 &&
        (PyType_IsSubtype(type, function_type) || PyType_IsSubtype(type, &PyCFunction_Type)) &&
        (reinterpret_cast<PyCFunctionObject*>(callable)->m_ml->ml_flags & METH_O)) {
        return call_c_function(callable, args[0]);
    }
    vectorcallfunc entry = nullptr;
    if (type == function_type) {
        entry = reinterpret_cast<PyCFunctionObject*>(callable)->vectorcall;
    } else if (PyType_HasFeature(type, Py_TPFLAGS_HAVE_VECTORCALL)) {
        entry = *reinterpret_cast<vectorcallfunc*>(reinterpret_cast<char*>(callable) +
                                                   type->tp_vectorcall_offset);
    }
    if (entry != nullptr) {
        return checked_result(callable, entry(callable, args, nargsf, nullptr));
    }
    return PyObject_VectorcallDict(callable, args, static_cast<size_t>(nargs), nullptr);
}

int exception_matches(PyObject* raised, PyObject* wanted) noexcept {
    if (raised == wanted) {
        return 1;
    }
    if (is_exception_class(raised)) {
        auto* raised_type = reinterpret_cast<PyTypeObject*>(raised);
        if (is_exception_class(wanted)) {
            return PyType_IsSubtype(raised_type, reinterpret_cast<PyTypeObject*>(wanted));
        }
        if (PyType_FastSubclass(Py_TYPE(wanted), Py_TPFLAGS_TUPLE_SUBCLASS)) {
            Py_ssize_t size = PyTuple_GET_SIZE(wanted);
            for (Py_ssize_t i = 0; i < size; ++i) {
                if (PyTuple_GET_ITEM(wanted, i) == raised) {
                    return 1;
                }
            }
            for (Py_ssize_t i = 0; i < size; ++i) {
                PyObject* item = PyTuple_GET_ITEM(wanted, i);
                if (is_exception_class(item) &&
                    PyType_IsSubtype(raised_type, reinterpret_cast<PyTypeObject*>(item))) {
                    return 1;
                }
            }
            return 0;
        }
    }
    return PyErr_GivenExceptionMatches(raised, wanted);
}

PyObject* call_site(PyTypeObject* function_type, Ref callable, PyObject** args,
                    Py_ssize_t nargs) noexcept {
    if (Py_IS_TYPE(callable.get(), &PyMethod_Type)) {
        Ref function = Ref::borrow(PyMethod_GET_FUNCTION(callable.get()));
        Ref self = Ref::borrow(PyMethod_GET_SELF(callable.get()));
        callable = Ref();
        args[0] = self.get();
        return call_object(function_type, function.get(), args, static_cast<size_t>(nargs + 1));
    }
    return call_object(function_type, callable.get(), args + 1,
                       static_cast<size_t>(nargs) | PY_VECTORCALL_ARGUMENTS_OFFSET);
}

}  // namespace runtime
