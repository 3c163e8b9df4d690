// Every difference between the CPython versions this runtime builds for
// (3.12 to 3.14).  The code is written against the newest public names;
// for older interpreters this header supplies them from what those have.
#pragma once

#include <Python.h>

#if PY_VERSION_HEX < 0x030C0000
#error "the compiled function runtime needs CPython 3.12 or newer"
#endif

// The fast call convention with keywords: its type has a public name since
// 3.13.
#if PY_VERSION_HEX < 0x030D0000
typedef _PyCFunctionFastWithKeywords PyCFunctionFastWithKeywords;
#endif

// Managed instance dictionaries: public since 3.13, private before.
#if PY_VERSION_HEX < 0x030D0000
inline int PyObject_VisitManagedDict(PyObject* obj, visitproc visit, void* arg) noexcept {
    return _PyObject_VisitManagedDict(obj, visit, arg);
}
inline void PyObject_ClearManagedDict(PyObject* obj) noexcept { _PyObject_ClearManagedDict(obj); }
#endif

// Strong-reference dictionary lookup and optional attribute lookup, new in
// 3.13: 1 and a new reference when found, 0 and null when missing, -1 with
// an exception set on failure.
#if PY_VERSION_HEX < 0x030D0000
inline int PyDict_GetItemRef(PyObject* dict, PyObject* key, PyObject** result) noexcept {
    PyObject* item = PyDict_GetItemWithError(dict, key);
    *result = Py_XNewRef(item);
    return item != nullptr ? 1 : (PyErr_Occurred() ? -1 : 0);
}
inline int PyObject_GetOptionalAttr(PyObject* obj, PyObject* name, PyObject** result) noexcept {
    return _PyObject_LookupAttr(obj, name, result);
}
#endif

// The sign of an int, new in 3.14.
#if PY_VERSION_HEX < 0x030E0000
inline int PyLong_GetSign(PyObject* obj, int* sign) noexcept {
    if (!PyLong_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "expect int, got %s", Py_TYPE(obj)->tp_name);
        return -1;
    }
    *sign = _PyLong_Sign(obj);
    return 0;
}
#endif

namespace runtime {

// dict.setdefault(key, value) with a strong reference to the stored value in
// `*result`: 1 when the key was there, 0 when `value` was stored, -1 with an
// exception set.  CPython 3.13.0's PyDict_SetDefault and PyDict_SetDefaultRef
// report success and leave the dictionary corrupt when the table's resize
// fails for lack of memory, so the setdefault is a lookup and a store, which
// is the same operation for keys whose hash and comparison run no code (strs
// and tuples of strs, the only keys it is given).
inline int dict_setdefault_ref(PyObject* dict, PyObject* key, PyObject* value,
                               PyObject** result) noexcept {
    int found = PyDict_GetItemRef(dict, key, result);
    if (found != 0) {
        return found;
    }
    if (PyDict_SetItem(dict, key, value) < 0) {
        return -1;
    }
    *result = Py_NewRef(value);
    return 0;
}


// One level of the interpreter's C recursion guard, entered as the
// interpreter enters every built-in function.  Through 3.13 the guard is a
// counter in the thread state that Py_EnterRecursiveCall decrements and
// tests (3.12 fails at `remaining-- <= 0`, 3.13 at `remaining-- < 0`).  The
// counter is kept inline here, the thread state read once per level, and
// only a call with no level left above zero goes through
// Py_EnterRecursiveCall, which applies its own version's test and raises its
// own error: a count above zero passes both tests, so the inline form equals
// the call on both.  From 3.14 the interpreter measures the stack instead,
// and the guard is the call itself.
#if PY_VERSION_HEX < 0x030E0000
class RecursionLevel {
public:
    bool enter() noexcept {
        if (thread_->c_recursion_remaining-- > 0) {
            return true;
        }
        ++thread_->c_recursion_remaining;
        return Py_EnterRecursiveCall(" while calling a Python object") == 0;
    }
    void leave() noexcept { ++thread_->c_recursion_remaining; }

private:
    PyThreadState* thread_ = PyThreadState_GET();
};
#else
class RecursionLevel {
public:
    bool enter() noexcept { return Py_EnterRecursiveCall(" while calling a Python object") == 0; }
    void leave() noexcept { Py_LeaveRecursiveCall(); }
};
#endif

}  // namespace runtime
