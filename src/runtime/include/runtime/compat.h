// Every difference between the CPython versions this runtime builds for
// (3.12 to 3.14).  The code is written against the newest public names;
// for older interpreters this header supplies them from what those have.
#pragma once

#include <Python.h>
#include <cstdint>

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

// The digits of an int, exported since 3.14: an int of 64 bits gives its
// value, a larger one a view of its digits (least significant first, in the
// native layout) that holds a reference to the int until PyLong_FreeExport.
// Before 3.14 the same is read from the layout that cpython/longintrepr.h
// declares: the digit count above the tag's three low bits, the sign in the
// lowest two (2 for a negative int).  An int below 2**63 in magnitude is
// summed here, one of too many digits to fit is a view at once, and only
// one whose top digit may make it -2**63 is tried by
// PyLong_AsLongLongAndOverflow.
#if PY_VERSION_HEX < 0x030E0000
struct PyLongLayout {
    std::uint8_t bits_per_digit;
    std::uint8_t digit_size;
    std::int8_t digits_order;
    std::int8_t digit_endianness;
};
struct PyLongExport {
    std::int64_t value;
    std::uint8_t negative;
    Py_ssize_t ndigits;
    const void* digits;
    Py_uintptr_t _reserved;
};
inline const PyLongLayout* PyLong_GetNativeLayout() noexcept {
    static constexpr PyLongLayout layout{PyLong_SHIFT, sizeof(digit), -1,
                                         PY_LITTLE_ENDIAN ? -1 : 1};
    return &layout;
}
inline int PyLong_Export(PyObject* obj, PyLongExport* export_long) noexcept {
    if (!PyLong_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "expect int, got %s", Py_TYPE(obj)->tp_name);
        return -1;
    }
    const auto* number = reinterpret_cast<const PyLongObject*>(obj);
    const std::uintptr_t tag = number->long_value.lv_tag;
    const auto ndigits = static_cast<Py_ssize_t>(tag >> _PyLong_NON_SIZE_BITS);
    const bool negative = (tag & _PyLong_SIGN_MASK) == 2;
    // The bits below 2**63 that the top digit has, after the others.
    const Py_ssize_t top_bits = 63 - (ndigits - 1) * PyLong_SHIFT;
    if (ndigits == 0 || top_bits >= PyLong_SHIFT ||
        (top_bits > 0 && (number->long_value.ob_digit[ndigits - 1] >> top_bits) == 0)) {
        std::uint64_t magnitude = 0;  // below 2**63
        for (Py_ssize_t i = ndigits; i-- > 0;) {
            magnitude = (magnitude << PyLong_SHIFT) | number->long_value.ob_digit[i];
        }
        const auto value = static_cast<std::int64_t>(magnitude);
        *export_long = {negative ? -value : value, 0, 0, nullptr, 0};
        return 0;
    }
    if (top_bits >= 0) {  // at least 2**63: fits only as -2**63
        int overflow = 0;
        long long value = PyLong_AsLongLongAndOverflow(obj, &overflow);
        if (overflow == 0) {
            *export_long = {value, 0, 0, nullptr, 0};
            return 0;
        }
    }
    *export_long = {0, static_cast<std::uint8_t>(negative), ndigits, number->long_value.ob_digit,
                    reinterpret_cast<Py_uintptr_t>(Py_NewRef(obj))};
    return 0;
}
inline void PyLong_FreeExport(PyLongExport* export_long) noexcept {
    Py_XDECREF(reinterpret_cast<PyObject*>(export_long->_reserved));
    export_long->_reserved = 0;
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

// sys.monitoring events of compiled functions.  From 3.13 the interpreter
// lets extension code report its own calls (PyMonitoring_*): a call fires
// PY_START, then PY_RETURN, or RAISE and PY_UNWIND when it fails, with the
// function's code object, so that the tools that listen (cProfile among
// them) see the call where a Python function's would be seen.  Before 3.13
// there is no such interface, and a call reports nothing.
//
// Each function keeps its own states, as each code object of Python
// functions has its own: a callback that returns sys.monitoring.DISABLE
// turns an event off for this function alone, until the set of events
// changes or sys.monitoring.restart_events() is called.  The states are
// written under the GIL; a free-threaded build would need them per thread
// or written atomically.
#if PY_VERSION_HEX >= 0x030D0000
class Monitoring {
public:
    // Whether a tool listens for any of the events a call fires.  With no
    // tool attached this costs PyMonitoring_EnterScope, which compares the
    // interpreter's monitoring version with the one seen last and returns,
    // and one branch: the interpreter offers no inline way to read that
    // version.
    bool listening() noexcept {
        std::uint64_t seen = version_;
        PyMonitoring_EnterScope(states_, &version_, event_types, event_count);
        if (version_ != seen) [[unlikely]] {
            for (PyMonitoringState& state : states_) {
                state.active &= ~legacy_tools;
            }
            calls_listened_ = states_[start_event].active | states_[return_event].active;
        }
        return (states_[start_event].active | states_[return_event].active |
                states_[raise_event].active | states_[unwind_event].active) != 0;
    }

    // Whether a tool listens for the start or the return of calls, as of
    // the last listening(): then the calls that a call makes must be
    // observable too, even if this function's own events were disabled.
    bool observes_calls() const noexcept { return calls_listened_ != 0; }

    // `call()` between the events of a call of the function whose code
    // object is `code`.  A function without one reports nothing; neither
    // does a call made by a tool's callback, which the interpreter does not
    // report for Python functions either.  A callback that raises fails the
    // call with its exception, as it does a Python function's.
    template <typename Call>
    PyObject* observe(PyObject* code, Call call) noexcept {
        if (code == nullptr || PyThreadState_GET()->tracing != 0) {
            return call();
        }
        if (start(code) < 0) {
            unwind(code);
            return nullptr;
        }
        return finish(code, call());
    }

private:
    enum : std::uint8_t { start_event, return_event, raise_event, unwind_event, event_count };
    static constexpr std::uint8_t event_types[event_count] = {
        PY_MONITORING_EVENT_PY_START, PY_MONITORING_EVENT_PY_RETURN, PY_MONITORING_EVENT_RAISE,
        PY_MONITORING_EVENT_PY_UNWIND};
    // Tool ids 6 and 7 serve sys.setprofile and sys.settrace, whose handlers
    // report each event for the innermost Python frame: for a compiled
    // function, that is its caller's, which would seem to start again.  Those
    // two see a compiled function as they see a built-in one, which is not
    // at all (they report calls of built-in functions only).
    static constexpr std::uint8_t legacy_tools = (1 << 6) | (1 << 7);
    // The bodies have no handlers: nothing is reported between the raise
    // and the unwinding, so both are fired at the exit, where the exception
    // is final, and the order of events is a Python function's.  Offsets are
    // all 0, the code objects having no instructions of their own.
    static constexpr std::int32_t offset = 0;

    [[gnu::cold, gnu::noinline]] int start(PyObject* code) noexcept {
        return PyMonitoring_FirePyStartEvent(&states_[start_event], code, offset);
    }

    // Fires the exception events of a failed call; a callback that raises
    // replaces the exception.  A callee that failed without setting one
    // leaves nothing to report (the interpreter raises SystemError for it).
    [[gnu::cold, gnu::noinline]] void unwind(PyObject* code) noexcept {
        if (PyErr_Occurred()) {
            PyMonitoring_FireRaiseEvent(&states_[raise_event], code, offset);
            PyMonitoring_FirePyUnwindEvent(&states_[unwind_event], code, offset);
        }
    }

    // A callee's result with an exception set is a fault that the interpreter
    // reports when it receives both; here it counts as a failure.
    [[gnu::cold, gnu::noinline]] PyObject* finish(PyObject* code, PyObject* result) noexcept {
        if (result == nullptr || PyErr_Occurred()) {
            unwind(code);
            return result;
        }
        if (PyMonitoring_FirePyReturnEvent(&states_[return_event], code, offset, result) < 0) {
            Py_DECREF(result);
            unwind(code);
            return nullptr;
        }
        return result;
    }

    PyMonitoringState states_[event_count] = {};
    std::uint8_t calls_listened_ = 0;  // the tools of start and return, before any DISABLE
    std::uint64_t version_ = 0;
};
#else
class Monitoring {
public:
    static constexpr bool listening() noexcept { return false; }
    static constexpr bool observes_calls() noexcept { return false; }
    template <typename Call>
    PyObject* observe(PyObject*, Call call) noexcept {
        return call();
    }
};
#endif

}  // namespace runtime
