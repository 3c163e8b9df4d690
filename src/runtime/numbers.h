// Arithmetic with one small int constant, and truth tests, with direct paths
// for exact ints and floats.  Every path gives the value and type that the
// interpreter's own operator would; only the dispatch is saved.
#pragma once

#include <Python.h>
#include <cstdint>

namespace runtime {

namespace number_detail {

// Size class of an exact int, read from CPython 3.12's int layout: the tag
// holds the digit count above three flag bits, and the sign in the low two.
enum class IntSize { zero, one_digit, two_digits, more_digits };

inline std::uintptr_t int_tag(PyObject* x) noexcept {
    return reinterpret_cast<PyLongObject*>(x)->long_value.lv_tag;
}

inline IntSize int_size(PyObject* x) noexcept {
    std::uintptr_t digits = int_tag(x) >> 3;
    if (digits == 0) {
        return IntSize::zero;
    }
    return digits == 1 ? IntSize::one_digit
                       : digits == 2 ? IntSize::two_digits : IntSize::more_digits;
}

inline bool int_negative(PyObject* x) noexcept {
    return (int_tag(x) & 3) == 2;
}

inline std::int32_t one_digit_value(PyObject* x) noexcept {
    const digit* digits = reinterpret_cast<PyLongObject*>(x)->long_value.ob_digit;
    auto magnitude = static_cast<std::int32_t>(digits[0]);
    return int_negative(x) ? -magnitude : magnitude;
}

inline std::int64_t two_digit_value(PyObject* x) noexcept {
    const digit* digits = reinterpret_cast<PyLongObject*>(x)->long_value.ob_digit;
    auto magnitude = static_cast<std::int64_t>(digits[0]) |
                     (static_cast<std::int64_t>(digits[1]) << PyLong_SHIFT);
    return int_negative(x) ? -magnitude : magnitude;
}

inline PyNumberMethods* int_number_methods() noexcept {
    return PyLong_Type.tp_as_number;
}

}  // namespace number_detail

// K - x
inline PyObject* num_rsub_const(PyObject* K, PyObject* x, long k) noexcept {
    using namespace number_detail;
    if (PyLong_CheckExact(x)) {
        switch (int_size(x)) {
            case IntSize::zero:
                return Py_NewRef(K);
            case IntSize::one_digit:
                return PyLong_FromLong(static_cast<std::int32_t>(k) - one_digit_value(x));
            case IntSize::two_digits:
                return PyLong_FromLongLong(static_cast<std::int64_t>(k) - two_digit_value(x));
            case IntSize::more_digits:
                return int_number_methods()->nb_subtract(K, x);
        }
    }
    if (PyFloat_CheckExact(x)) {
        return PyFloat_FromDouble(static_cast<double>(k) - PyFloat_AS_DOUBLE(x));
    }
    return PyNumber_Subtract(K, x);
}

// x % k, the floor remainder; the int results lie in [0, k).
template <long k>
inline PyObject* num_rem_const(PyObject* x, PyObject* K) noexcept {
    using namespace number_detail;
    static_assert(k > 0);
    if (PyLong_CheckExact(x)) {
        switch (int_size(x)) {
            case IntSize::zero:
                return Py_NewRef(x);
            case IntSize::one_digit: {
                std::int32_t r = one_digit_value(x) % static_cast<std::int32_t>(k);
                if (r != 0 && r < 0) {
                    r += static_cast<std::int32_t>(k);
                }
                return PyLong_FromLong(r);
            }
            case IntSize::two_digits: {
                std::int64_t r = two_digit_value(x) % static_cast<std::int64_t>(k);
                if (r != 0 && r < 0) {
                    r += k;
                }
                return PyLong_FromLongLong(r);
            }
            case IntSize::more_digits:
                return int_number_methods()->nb_remainder(x, K);
        }
    }
    return PyNumber_Remainder(x, K);
}

// x -= K
inline PyObject* num_isub_const(PyObject* x, PyObject* K, long k) noexcept {
    using namespace number_detail;
    if (PyLong_CheckExact(x)) {
        switch (int_size(x)) {
            case IntSize::zero:
                return PyLong_FromLong(-k);
            case IntSize::one_digit:
                return PyLong_FromLong(one_digit_value(x) - static_cast<std::int32_t>(k));
            case IntSize::two_digits:
                return PyLong_FromLongLong(two_digit_value(x) - static_cast<std::int64_t>(k));
            case IntSize::more_digits:
                return int_number_methods()->nb_subtract(x, K);
        }
    }
    if (PyFloat_CheckExact(x)) {
        return PyFloat_FromDouble(PyFloat_AS_DOUBLE(x) - static_cast<double>(k));
    }
    return PyNumber_InPlaceSubtract(x, K);
}

// x / K
inline PyObject* num_truediv_const(PyObject* x, PyObject* K, long k) noexcept {
    using namespace number_detail;
    if (PyLong_CheckExact(x)) {
        // Below 2**30 both operands are exact doubles and the quotient rounds once.
        if (int_size(x) == IntSize::one_digit) {
            return PyFloat_FromDouble(static_cast<double>(one_digit_value(x)) /
                                      static_cast<double>(k));
        }
        return int_number_methods()->nb_true_divide(x, K);
    }
    if (PyFloat_CheckExact(x)) {
        return PyFloat_FromDouble(PyFloat_AS_DOUBLE(x) / static_cast<double>(k));
    }
    return PyNumber_TrueDivide(x, K);
}

namespace number_detail {

// 1 added to an exact int or float x; `handled` is false for other types.
// Big ints go to the int slot with the constant on the side the caller wrote.
inline PyObject* plus_one(PyObject* x, PyObject* K, bool constant_left, bool& handled) noexcept {
    handled = true;
    if (PyLong_CheckExact(x)) {
        switch (int_size(x)) {
            case IntSize::zero:
                return Py_NewRef(K);
            case IntSize::one_digit:
                return PyLong_FromLong(one_digit_value(x) + 1);
            case IntSize::two_digits:
                return PyLong_FromLongLong(two_digit_value(x) + 1);
            case IntSize::more_digits:
                return constant_left ? int_number_methods()->nb_add(K, x)
                                     : int_number_methods()->nb_add(x, K);
        }
    }
    if (PyFloat_CheckExact(x)) {
        return PyFloat_FromDouble(PyFloat_AS_DOUBLE(x) + 1.0);
    }
    handled = false;
    return nullptr;
}

}  // namespace number_detail

// x + 1, or x += 1 when `in_place` is set; K is the int 1.
inline PyObject* num_add_const(PyObject* x, PyObject* K, bool in_place) noexcept {
    bool handled;
    PyObject* sum = number_detail::plus_one(x, K, false, handled);
    if (handled) {
        return sum;
    }
    return in_place ? PyNumber_InPlaceAdd(x, K) : PyNumber_Add(x, K);
}

// 1 + x; K is the int 1.
inline PyObject* num_radd_const(PyObject* K, PyObject* x) noexcept {
    bool handled;
    PyObject* sum = number_detail::plus_one(x, K, true, handled);
    return handled ? sum : PyNumber_Add(K, x);
}

// K * x
inline PyObject* num_rmul_const(PyObject* K, PyObject* x, long k) noexcept {
    using namespace number_detail;
    if (PyLong_CheckExact(x)) {
        switch (int_size(x)) {
            case IntSize::zero:
                return Py_NewRef(x);
            case IntSize::one_digit:
                return PyLong_FromLongLong(static_cast<std::int64_t>(one_digit_value(x)) *
                                           static_cast<std::int64_t>(k));
            default:
                return int_number_methods()->nb_multiply(K, x);
        }
    }
    if (PyFloat_CheckExact(x)) {
        return PyFloat_FromDouble(static_cast<double>(k) * PyFloat_AS_DOUBLE(x));
    }
    return PyNumber_Multiply(K, x);
}

// abs(x)
inline PyObject* num_abs(PyObject* x) noexcept {
    using namespace number_detail;
    if (PyLong_CheckExact(x)) {
        if (!int_negative(x)) {
            return Py_NewRef(x);
        }
        if (int_size(x) == IntSize::one_digit) {
            return PyLong_FromSize_t(static_cast<size_t>(-one_digit_value(x)));
        }
        return int_number_methods()->nb_absolute(x);
    }
    return PyNumber_Absolute(x);
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

// Truth of x == K for the int constant K = 0.
inline int num_eq_const(PyObject* x, PyObject* K) noexcept {
    if (x == K) {
        return 1;
    }
    if (PyLong_CheckExact(x)) {
        return number_detail::int_size(x) == number_detail::IntSize::zero;
    }
    if (PyFloat_CheckExact(x)) {
        return PyFloat_AS_DOUBLE(x) == 0.0;
    }
    return number_detail::rich_compare_truth(x, K, Py_EQ);
}

// Operations between two operands, for the places where neither is a
// constant.  Exact floats, and exact ints below 2**30 (which convert to
// doubles exactly), are computed in machine arithmetic exactly as the float
// and int slots would compute them; everything else, and every division by
// zero, goes to the interpreter.
namespace number_detail {

inline bool small_int(PyObject* x) noexcept {
    return PyLong_CheckExact(x) && (int_tag(x) >> 3) <= 1;
}

inline std::int32_t small_int_value(PyObject* x) noexcept {
    return int_size(x) == IntSize::zero ? 0 : one_digit_value(x);
}

// The value of an exact float or small exact int as a double.
inline bool as_double(PyObject* x, double& value) noexcept {
    if (PyFloat_CheckExact(x)) {
        value = PyFloat_AS_DOUBLE(x);
        return true;
    }
    if (small_int(x)) {
        value = small_int_value(x);
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
            case BinaryOp::add:
                return PyLong_FromLongLong(x + y);
            case BinaryOp::subtract:
                return PyLong_FromLongLong(x - y);
            default:
                return PyLong_FromLongLong(x * y);
        }
    }
    double x;
    double y;
    // A float result needs at least one float operand, as the slots would give.
    if ((PyFloat_CheckExact(a) || PyFloat_CheckExact(b)) && as_double(a, x) && as_double(b, y)) {
        switch (op) {
            case BinaryOp::add:
                return PyFloat_FromDouble(x + y);
            case BinaryOp::subtract:
                return PyFloat_FromDouble(x - y);
            case BinaryOp::multiply:
                return PyFloat_FromDouble(x * y);
            case BinaryOp::true_divide:
                if (y != 0.0) {
                    return PyFloat_FromDouble(x / y);
                }
                break;
        }
    }
    switch (op) {
        case BinaryOp::add:
            return in_place ? PyNumber_InPlaceAdd(a, b) : PyNumber_Add(a, b);
        case BinaryOp::subtract:
            return in_place ? PyNumber_InPlaceSubtract(a, b) : PyNumber_Subtract(a, b);
        case BinaryOp::multiply:
            return in_place ? PyNumber_InPlaceMultiply(a, b) : PyNumber_Multiply(a, b);
        default:
            return in_place ? PyNumber_InPlaceTrueDivide(a, b) : PyNumber_TrueDivide(a, b);
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
        switch (op) {
            case Py_LT: return x < y;
            case Py_LE: return x <= y;
            case Py_EQ: return x == y;
            case Py_NE: return x != y;
            case Py_GT: return x > y;
            default: return x >= y;
        }
    }
    return number_detail::rich_compare_truth(a, b, op);
}

}  // namespace runtime
