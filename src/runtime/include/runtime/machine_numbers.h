// The interpreter's arithmetic on exact ints and floats, reproduced in
// machine numbers: each operation gives the bits the interpreter's own
// operator gives, in the same operand order, or declines.  A declined
// operation (an int result beyond 64 bits, a division by zero, an
// overflowing power, anything the interpreter would raise for) sets the
// `declined` flag; the caller then runs its interpreter-object path from the
// start, which raises exactly what the interpreter raises.
#pragma once

#include <Python.h>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>

#include "runtime/compat.h"
#include "runtime/numbers.h"

namespace runtime {

// An exact int or float as a machine number.  A big int (beyond 64 bits)
// is carried as the object itself; only a remainder by a constant and the
// comparisons with a constant take one.
struct MachineNumber {
    enum class Kind : unsigned char { integer, real, big };
    union {
        std::int64_t i = 0;
        double d;
        PyObject* big;  // borrowed from the caller's argument
    };
    Kind kind = Kind::integer;
    // Stands for the shared object that the interpreter path returns here
    // rather than a new one (a module's float 0.0 constant); from_machine
    // is told which object that is.
    bool shared = false;

    static MachineNumber integer(std::int64_t value) noexcept {
        MachineNumber number;
        number.i = value;
        return number;
    }
    static MachineNumber real(double value) noexcept {
        MachineNumber number;
        number.kind = Kind::real;
        number.d = value;
        return number;
    }
    static MachineNumber big_int(PyObject* value) noexcept {
        MachineNumber number;
        number.kind = Kind::big;
        number.big = value;
        return number;
    }

    bool is_integer() const noexcept { return kind == Kind::integer; }
    bool is_real() const noexcept { return kind == Kind::real; }
    bool is_big() const noexcept { return kind == Kind::big; }
    // The value as the interpreter converts an int operand of a float operation.
    double as_double() const noexcept { return is_real() ? d : static_cast<double>(i); }
    // Whether the same operation on both gives the same bits.
    bool same(const MachineNumber& other) const noexcept {
        if (kind != other.kind) {
            return false;
        }
        switch (kind) {
            case Kind::integer:
                return i == other.i;
            case Kind::real:
                return std::bit_cast<std::uint64_t>(d) == std::bit_cast<std::uint64_t>(other.d);
            default:
                return big == other.big;
        }
    }
};

// Reads an argument: true for an exact int or float.
inline bool to_machine(PyObject* object, MachineNumber& number) noexcept {
    if (PyFloat_CheckExact(object)) {
        number = MachineNumber::real(PyFloat_AS_DOUBLE(object));
        return true;
    }
    if (!PyLong_CheckExact(object)) {
        return false;
    }
    auto* value = reinterpret_cast<PyLongObject*>(object);
    if (PyUnstable_Long_IsCompact(value)) {
        number = MachineNumber::integer(PyUnstable_Long_CompactValue(value));
        return true;
    }
    int overflow = 0;
    long long wide = PyLong_AsLongLongAndOverflow(object, &overflow);
    if (overflow == 0) {
        number = MachineNumber::integer(wide);
    } else {
        number = MachineNumber::big_int(object);
    }
    return true;
}

// A new reference to the interpreter object of a machine number; `shared`
// is the object that a number marked shared stands for.
inline PyObject* from_machine(const MachineNumber& number, PyObject* shared) noexcept {
    if (number.shared) {
        return Py_NewRef(shared);
    }
    switch (number.kind) {
        case MachineNumber::Kind::integer:
            return PyLong_FromLongLong(number.i);
        case MachineNumber::Kind::real:
            return PyFloat_FromDouble(number.d);
        default:
            return Py_NewRef(number.big);
    }
}

// The operations.  Each returns a meaningless number after declining;
// callers test `declined` once per statement.
class MachineArithmetic {
public:
    using Number = MachineNumber;

    bool declined = false;

    // Ints whose conversion to a double is exact: true division of two such
    // ints rounds once, as the interpreter's does, and they compare with a
    // float by value.
    static constexpr std::int64_t exact_limit = std::int64_t{1} << 53;

    Number decline() noexcept {
        declined = true;
        return {};
    }

    Number constant(const IntConstant& K) const noexcept { return Number::integer(K.value); }
    Number real(double value) const noexcept { return Number::real(value); }

    // x % K (K > 0): the floor remainder; for a float, fmod with the sign of
    // the divisor and a signed zero fixed up as the interpreter does.
    Number rem(const Number& x, const IntConstant& K) noexcept {
        if (x.is_integer()) {
            std::int64_t r = x.i % K.value;
            return Number::integer(r < 0 ? r + K.value : r);
        }
        if (x.is_real()) {
            double divisor = static_cast<double>(K.value);
            // fmod is exact, and for |x| below the divisor it is x itself.
            double mod = std::fabs(x.d) < divisor ? x.d : std::fmod(x.d, divisor);
            if (mod) {
                if ((divisor < 0) != (mod < 0)) {
                    mod += divisor;
                }
            } else {
                mod = std::copysign(0.0, divisor);
            }
            return Number::real(mod);
        }
        return big_rem(x, K);
    }

    Number add(const Number& a, const Number& b) noexcept {
        if (a.is_integer() && b.is_integer()) {
            std::int64_t sum;
            return __builtin_add_overflow(a.i, b.i, &sum) ? decline() : Number::integer(sum);
        }
        return reals(a, b) ? Number::real(a.as_double() + b.as_double()) : decline();
    }
    Number subtract(const Number& a, const Number& b) noexcept {
        if (a.is_integer() && b.is_integer()) {
            std::int64_t difference;
            return __builtin_sub_overflow(a.i, b.i, &difference) ? decline()
                                                                 : Number::integer(difference);
        }
        return reals(a, b) ? Number::real(a.as_double() - b.as_double()) : decline();
    }
    Number multiply(const Number& a, const Number& b) noexcept {
        if (a.is_integer() && b.is_integer()) {
            std::int64_t product;
            return __builtin_mul_overflow(a.i, b.i, &product) ? decline()
                                                              : Number::integer(product);
        }
        return reals(a, b) ? Number::real(a.as_double() * b.as_double()) : decline();
    }
    Number divide(const Number& a, const Number& b) noexcept {
        if (a.is_integer() && b.is_integer() && !(exact(a) && exact(b))) {
            return decline();  // the interpreter divides the exact ints
        }
        if (a.is_big() || b.is_big()) {
            return decline();
        }
        double divisor = b.as_double();
        return divisor == 0.0 ? decline() : Number::real(a.as_double() / divisor);
    }
    Number negative(const Number& x) noexcept {
        if (x.is_integer()) {
            return x.i == INT64_MIN ? decline() : Number::integer(-x.i);
        }
        return x.is_real() ? Number::real(-x.d) : decline();
    }
    Number absolute(const Number& x) noexcept {
        if (x.is_integer()) {
            return x.i == INT64_MIN ? decline() : Number::integer(x.i < 0 ? -x.i : x.i);
        }
        return x.is_real() ? Number::real(std::fabs(x.d)) : decline();
    }

    // x ** 2.  An int is squared exactly; a float goes through the C
    // library's pow after the interpreter's own special cases (its results
    // differ from x * x in the last bit for some x).
    Number square(const Number& x) noexcept {
        if (x.is_integer()) {
            return multiply(x, x);
        }
        if (!x.is_real()) {
            return decline();
        }
        double v = x.d;
        if (std::isnan(v)) {
            return Number::real(v);
        }
        if (std::isinf(v)) {
            return Number::real(std::fabs(v));
        }
        if (v == 0.0) {
            return Number::real(0.0);
        }
        v = std::fabs(v);
        if (v == 1.0) {
            return Number::real(1.0);
        }
        errno = 0;
        double result = library_pow(v, two);
        if (errno == 0 && std::isinf(result)) {
            errno = ERANGE;
        } else if (errno == ERANGE && result == 0.0) {
            errno = 0;
        }
        return errno != 0 ? decline() : Number::real(result);
    }

    // math.sqrt: an int is converted first; a negative argument raises there.
    Number sqrt(const Number& x) noexcept {
        if (x.is_big()) {
            return decline();
        }
        double v = x.as_double();
        if (v < 0.0) {
            return decline();
        }
        return Number::real(std::sqrt(v));
    }

    // The comparisons of an operand with a small constant, and their truth.
    bool compare(const Number& x, const IntConstant& K, int op) noexcept {
        if (x.is_integer()) {
            return number_detail::holds(x.i, K.value, op);
        }
        if (x.is_real()) {
            return number_detail::holds(x.d, static_cast<double>(K.value), op);
        }
        // A big int lies beyond every small constant, on the side of its sign.
        int sign = 0;
        PyLong_GetSign(x.big, &sign);  // cannot fail: `big` is an int
        return number_detail::holds(sign, 0, op);
    }
    bool equals(const Number& x, const IntConstant& K) noexcept { return compare(x, K, Py_EQ); }
    bool greater(const Number& a, const Number& b) noexcept {
        if (a.is_integer() && b.is_integer()) {
            return a.i > b.i;
        }
        if (!reals(a, b) || (a.is_integer() && !exact(a)) || (b.is_integer() && !exact(b))) {
            decline();
            return false;
        }
        return a.as_double() > b.as_double();
    }

private:
    static constexpr double two_value = 2.0;
    // Read at run time, so that the compiler cannot turn pow(v, 2.0) into
    // v * v, which is not what the interpreter computes.
    static inline volatile double two = two_value;

    [[gnu::noinline]] static double library_pow(double base, double exponent) noexcept {
        return std::pow(base, exponent);
    }

    static bool exact(const Number& x) noexcept {
        return x.i >= -exact_limit && x.i <= exact_limit;
    }
    // Both operands are ints or floats, at least one a float, and an int
    // operand converts as the interpreter converts it (any 64-bit int does).
    static bool reals(const Number& a, const Number& b) noexcept {
        return !a.is_big() && !b.is_big() && (a.is_real() || b.is_real());
    }
    // The remainder of a big int is small; the interpreter computes it
    // exactly and without side effects.
    Number big_rem(const Number& x, const IntConstant& K) noexcept {
        PyObject* remainder = PyLong_Type.tp_as_number->nb_remainder(x.big, K.object());
        if (remainder == nullptr) {
            PyErr_Clear();
            return decline();
        }
        Number result;
        bool read = to_machine(remainder, result) && result.is_integer();
        Py_DECREF(remainder);
        return read ? result : decline();
    }
};

}  // namespace runtime
