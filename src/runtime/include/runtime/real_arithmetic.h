// The interpreter's arithmetic for a call whose numbers are all exact floats
// and ints of at most 53 bits, decided once on entry: every value is a
// double.  An int of that size converts to a double exactly, the
// interpreter converts an int operand of a float operation the same way,
// and the int-only operations of a body (a remainder by a constant, sums
// and products of small counters, quotients of two such ints) give the same
// values in doubles as in ints, with a zero result always +0.0, as the int
// 0 converts.  So every operation here gives the bits of the interpreter's,
// or declines where the interpreter would raise, as MachineArithmetic does.
#pragma once

#include <Python.h>
#include <bit>
#include <cmath>
#include <cstdint>

#include "runtime/float_operations.h"
#include "runtime/number_class.h"

namespace runtime {

struct RealNumber {
    double d = 0.0;
    // The value is an int argument of the call or an int constant: an int
    // for the operations that accept only ints (range).  A value computed
    // here is not, even where the interpreter's would be an int, so those
    // operations decline for it.
    bool integer = false;
    // Stands for the shared object that the interpreter path returns here
    // rather than a new one (a module's float 0.0 constant).
    bool shared = false;

    static RealNumber real(double value) noexcept { return {value, false, false}; }
    static RealNumber integer_value(std::int64_t value) noexcept {
        return {static_cast<double>(value), true, false};
    }

    // Never a big int: none is admitted.
    static constexpr bool is_big() noexcept { return false; }
    double as_double() const noexcept { return d; }
    bool same(const RealNumber& other) const noexcept {
        return std::bit_cast<std::uint64_t>(d) == std::bit_cast<std::uint64_t>(other.d);
    }
};

// Reads an argument for a call on doubles: true for an exact float, or an
// exact int of at most 53 bits.
inline bool to_real(PyObject* object, RealNumber& number) noexcept {
    if (PyFloat_CheckExact(object)) {
        number = RealNumber::real(PyFloat_AS_DOUBLE(object));
        return true;
    }
    std::int64_t value;
    bool compact;
    if (!PyLong_CheckExact(object) || !int64_value(object, value, compact) ||
        value < -exact_double_limit || value > exact_double_limit) {
        return false;
    }
    number = RealNumber::integer_value(value);
    return true;
}

// A new reference to the float of a number; `shared` is the object that a
// number marked shared stands for.
inline PyObject* from_machine(const RealNumber& number, PyObject* shared) noexcept {
    return number.shared ? Py_NewRef(shared) : PyFloat_FromDouble(number.d);
}

class RealArithmetic : public Declining<RealNumber> {
public:
    using Number = RealNumber;

    Number constant(const IntConstant& K) const noexcept { return Number::integer_value(K.value); }

    Number remainder(const Number& x, const IntConstant& K) noexcept {
        return Number::real(float_remainder(x.d, static_cast<double>(K.value)));
    }
    Number add(const Number& a, const Number& b) noexcept { return Number::real(a.d + b.d); }
    Number subtract(const Number& a, const Number& b) noexcept { return Number::real(a.d - b.d); }
    Number multiply(const Number& a, const Number& b) noexcept { return Number::real(a.d * b.d); }
    Number divide(const Number& a, const Number& b) noexcept {
        return b.d == 0.0 ? decline() : Number::real(a.d / b.d);
    }
    // -0 is 0 for an int; the bodies negate only floats.
    Number negative(const Number& x) noexcept { return x.integer ? decline() : Number::real(-x.d); }
    Number absolute(const Number& x) noexcept { return Number::real(std::fabs(x.d)); }
    Number square(const Number& x) noexcept {
        double result;
        return float_square(x.d, result) ? Number::real(result) : decline();
    }
    Number sqrt(const Number& x) noexcept {
        double result;
        return float_sqrt(x.d, result) ? Number::real(result) : decline();
    }

    bool compare(const Number& x, const IntConstant& K, int op) noexcept {
        return holds(x.d, static_cast<double>(K.value), op);
    }
    bool greater(const Number& a, const Number& b) noexcept { return a.d > b.d; }

    // The count of passes of range(n): n must be an int.
    bool pass_count(const Number& n, std::int64_t& count) noexcept {
        if (!n.integer) {
            decline();
            return false;
        }
        count = static_cast<std::int64_t>(n.d);
        return true;
    }
};

}  // namespace runtime
