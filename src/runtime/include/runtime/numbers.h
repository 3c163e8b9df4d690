// Arithmetic with one small int constant, and truth tests, with direct paths
// for exact ints and floats.  Every path gives the value and type that the
// interpreter's own operator would; only the dispatch is saved.
#pragma once

#include <Python.h>
#include <cstdint>

#include "runtime/number_class.h"

namespace runtime {

namespace number_detail {

// Exact ints below 2**60 in magnitude (one or two 30-bit digits) are
// computed in 64-bit arithmetic, which cannot overflow with constants of a
// few hundred; `compact` marks those of one digit (below 2**30).
inline constexpr std::int64_t wide_limit = (std::int64_t{1} << 60) - 1;

// The one dispatch on an operand's class that every helper uses:
// on_int(value, compact) for an exact int below 2**60, on_big() for a larger
// exact int, on_float(value) for an exact float, otherwise() for the rest.
template <typename OnInt, typename OnBig, typename OnFloat, typename Otherwise>
inline auto by_class(PyObject* x, OnInt on_int, OnBig on_big, OnFloat on_float,
                     Otherwise otherwise) noexcept {
    if (PyLong_CheckExact(x)) {
        std::int64_t value;
        bool compact;
        if (int64_value(x, value, compact) &&
            (compact || (value >= -wide_limit && value <= wide_limit))) {
            return on_int(value, compact);
        }
        return on_big();
    }
    if (PyFloat_CheckExact(x)) {
        return on_float(PyFloat_AS_DOUBLE(x));
    }
    return otherwise();
}

inline PyNumberMethods* int_slots() noexcept { return PyLong_Type.tp_as_number; }

inline PyObject* new_int(std::int64_t value) noexcept { return PyLong_FromLongLong(value); }

}  // namespace number_detail

// K - x
inline PyObject* num_rsub_const(const IntConstant& K, PyObject* x) noexcept {
    using namespace number_detail;
    return by_class(
        x,
        [&](std::int64_t v, bool) { return v == 0 ? Py_NewRef(K.object()) : new_int(K.value - v); },
        [&] { return int_slots()->nb_subtract(K.object(), x); },
        [&](double d) { return PyFloat_FromDouble(static_cast<double>(K.value) - d); },
        [&] { return PyNumber_Subtract(K.object(), x); });
}

// x % K for a positive K, the floor remainder; int results lie in [0, K).
// A float goes to the interpreter (its remainder has signed-zero rules).
inline PyObject* num_rem_const(PyObject* x, const IntConstant& K) noexcept {
    using namespace number_detail;
    return by_class(
        x,
        [&](std::int64_t v, bool) {
            if (v == 0) {
                return Py_NewRef(x);
            }
            return new_int(floor_remainder(v, K.value));
        },
        [&] { return int_slots()->nb_remainder(x, K.object()); },
        [&](double) { return PyNumber_Remainder(x, K.object()); },
        [&] { return PyNumber_Remainder(x, K.object()); });
}

// x -= K
inline PyObject* num_isub_const(PyObject* x, const IntConstant& K) noexcept {
    using namespace number_detail;
    return by_class(
        x, [&](std::int64_t v, bool) { return new_int(v - K.value); },
        [&] { return int_slots()->nb_subtract(x, K.object()); },
        [&](double d) { return PyFloat_FromDouble(d - static_cast<double>(K.value)); },
        [&] { return PyNumber_InPlaceSubtract(x, K.object()); });
}

// x / K.  A one-digit int and K are exact doubles, so their quotient rounds
// once, as the int slot's would; other ints go to the slot.
inline PyObject* num_truediv_const(PyObject* x, const IntConstant& K) noexcept {
    using namespace number_detail;
    return by_class(
        x,
        [&](std::int64_t v, bool compact) {
            return compact && v != 0
                       ? PyFloat_FromDouble(static_cast<double>(v) / static_cast<double>(K.value))
                       : int_slots()->nb_true_divide(x, K.object());
        },
        [&] { return int_slots()->nb_true_divide(x, K.object()); },
        [&](double d) { return PyFloat_FromDouble(d / static_cast<double>(K.value)); },
        [&] { return PyNumber_TrueDivide(x, K.object()); });
}

// x + K, or x += K when `in_place` is set.
inline PyObject* num_add_const(PyObject* x, const IntConstant& K, bool in_place) noexcept {
    using namespace number_detail;
    return by_class(
        x,
        [&](std::int64_t v, bool) { return v == 0 ? Py_NewRef(K.object()) : new_int(v + K.value); },
        [&] { return int_slots()->nb_add(x, K.object()); },
        [&](double d) { return PyFloat_FromDouble(d + static_cast<double>(K.value)); },
        [&] {
            return in_place ? PyNumber_InPlaceAdd(x, K.object()) : PyNumber_Add(x, K.object());
        });
}

// K + x
inline PyObject* num_radd_const(const IntConstant& K, PyObject* x) noexcept {
    using namespace number_detail;
    return by_class(
        x,
        [&](std::int64_t v, bool) { return v == 0 ? Py_NewRef(K.object()) : new_int(K.value + v); },
        [&] { return int_slots()->nb_add(K.object(), x); },
        [&](double d) { return PyFloat_FromDouble(static_cast<double>(K.value) + d); },
        [&] { return PyNumber_Add(K.object(), x); });
}

// K * x.  Only a one-digit int is multiplied directly; its product with a
// small constant fits in 64 bits.
inline PyObject* num_rmul_const(const IntConstant& K, PyObject* x) noexcept {
    using namespace number_detail;
    return by_class(
        x,
        [&](std::int64_t v, bool compact) {
            return v == 0    ? Py_NewRef(x)
                   : compact ? new_int(K.value * v)
                             : int_slots()->nb_multiply(K.object(), x);
        },
        [&] { return int_slots()->nb_multiply(K.object(), x); },
        [&](double d) { return PyFloat_FromDouble(static_cast<double>(K.value) * d); },
        [&] { return PyNumber_Multiply(K.object(), x); });
}

// abs(x); a non-negative int is its own absolute value.
inline PyObject* num_abs(PyObject* x) noexcept {
    using namespace number_detail;
    return by_class(
        x, [&](std::int64_t v, bool) { return v >= 0 ? Py_NewRef(x) : new_int(-v); },
        [&] { return int_slots()->nb_absolute(x); }, [&](double) { return PyNumber_Absolute(x); },
        [&] { return PyNumber_Absolute(x); });
}

// Truth of o: 1, 0, or -1 with an exception set.
inline int num_is_true(PyObject* o) noexcept {
    if (o == Py_True) {
        return 1;
    }
    if (o == Py_False || o == Py_None) {
        return 0;
    }
    return PyObject_IsTrue(o);
}

namespace number_detail {

// Truth of the interpreter's rich comparison `a op b`.
inline int rich_compare_truth(PyObject* a, PyObject* b, int op) noexcept {
    PyObject* result = PyObject_RichCompare(a, b, op);
    if (result == nullptr) {
        return -1;
    }
    int truth = num_is_true(result);
    Py_DECREF(result);
    return truth;
}

}  // namespace number_detail

// Truth of x == K.
inline int num_eq_const(PyObject* x, const IntConstant& K) noexcept {
    using namespace number_detail;
    if (x == K.object()) {
        return 1;
    }
    return by_class(
        x, [&](std::int64_t v, bool) { return static_cast<int>(v == K.value); },
        [&] { return 0; },  // larger than any small constant
        [&](double d) { return static_cast<int>(d == static_cast<double>(K.value)); },
        [&] { return rich_compare_truth(x, K.object(), Py_EQ); });
}

// Operations between two operands, for the places where neither is a
// constant.  Exact floats, and one-digit exact ints (which convert to
// doubles exactly), are computed in machine arithmetic exactly as the float
// and int slots would compute them; everything else, and every division by
// zero, goes to the interpreter.
namespace number_detail {

inline bool small_int(PyObject* x) noexcept {
    return PyLong_CheckExact(x) && PyUnstable_Long_IsCompact(reinterpret_cast<PyLongObject*>(x));
}

inline std::int64_t small_int_value(PyObject* x) noexcept {
    return PyUnstable_Long_CompactValue(reinterpret_cast<PyLongObject*>(x));
}

// The value of an exact float or small exact int as a double.
inline bool as_double(PyObject* x, double& value) noexcept {
    if (PyFloat_CheckExact(x)) {
        value = PyFloat_AS_DOUBLE(x);
        return true;
    }
    if (small_int(x)) {
        value = static_cast<double>(small_int_value(x));
        return true;
    }
    return false;
}

}  // namespace number_detail

enum class BinaryOp { add, subtract, multiply, true_divide };

template <BinaryOp op>
inline PyObject* num_binary(PyObject* a, PyObject* b, bool in_place = false) noexcept {
    using namespace number_detail;
    if (small_int(a) && small_int(b) && op != BinaryOp::true_divide) {
        std::int64_t x = small_int_value(a);
        std::int64_t y = small_int_value(b);
        switch (op) {
            case BinaryOp::add: return new_int(x + y);
            case BinaryOp::subtract: return new_int(x - y);
            default: return new_int(x * y);
        }
    }
    double x;
    double y;
    // A float result needs at least one float operand, as the slots would give.
    if ((PyFloat_CheckExact(a) || PyFloat_CheckExact(b)) && as_double(a, x) && as_double(b, y)) {
        switch (op) {
            case BinaryOp::add: return PyFloat_FromDouble(x + y);
            case BinaryOp::subtract: return PyFloat_FromDouble(x - y);
            case BinaryOp::multiply: return PyFloat_FromDouble(x * y);
            case BinaryOp::true_divide:
                if (y != 0.0) {
                    return PyFloat_FromDouble(x / y);
                }
                break;
        }
    }
    switch (op) {
        case BinaryOp::add: return in_place ? PyNumber_InPlaceAdd(a, b) : PyNumber_Add(a, b);
        case BinaryOp::subtract:
            return in_place ? PyNumber_InPlaceSubtract(a, b) : PyNumber_Subtract(a, b);
        case BinaryOp::multiply:
            return in_place ? PyNumber_InPlaceMultiply(a, b) : PyNumber_Multiply(a, b);
        default: return in_place ? PyNumber_InPlaceTrueDivide(a, b) : PyNumber_TrueDivide(a, b);
    }
}

// -x
inline PyObject* num_negative(PyObject* x) noexcept {
    if (PyFloat_CheckExact(x)) {
        return PyFloat_FromDouble(-PyFloat_AS_DOUBLE(x));
    }
    return PyNumber_Negative(x);
}

// Truth of the rich comparison `a op b`: 1, 0 or -1.  Exact floats and small
// exact ints compare as doubles, which is exact for them; NaN compares false.
inline int num_compare(PyObject* a, PyObject* b, int op) noexcept {
    double x;
    double y;
    if (number_detail::as_double(a, x) && number_detail::as_double(b, y)) {
        return holds(x, y, op);
    }
    return number_detail::rich_compare_truth(a, b, op);
}

}  // namespace runtime
