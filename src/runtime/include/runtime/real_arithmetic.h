// The interpreter's arithmetic for a call whose arguments are all exact
// floats and ints, computed in doubles.  An int of at most 53 bits converts
// to a double exactly, the interpreter converts an int operand of a float
// operation the same way, and the int-only operations of a body (a
// remainder by a constant, sums and products of small counters, quotients
// of two such ints) give the same values in doubles as in ints, with a zero
// result always +0.0, as the int 0 converts.  A larger int argument is
// carried as its position among the arguments: its remainder by a constant
// and its comparisons with a constant are computed exactly from its export
// (its digits, or its value), and every other operation on it declines.
// So every operation here gives the bits of the interpreter's, or declines:
// then the caller runs the call again on interpreter objects, which raise
// what the interpreter raises.
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
    // For an int argument beyond 2**53, its position among the call's
    // arguments, and `d` is 0; else -1.  The position rather than the
    // object keeps a number in two registers.
    std::int8_t argument = -1;

    static RealNumber real(double value) noexcept { return {value, false, false, -1}; }
    static RealNumber integer_value(std::int64_t value) noexcept {
        return {static_cast<double>(value), true, false, -1};
    }
    static RealNumber large_int(int position) noexcept {
        return {0.0, true, false, static_cast<std::int8_t>(position)};
    }

    double as_double() const noexcept { return d; }
    bool same(const RealNumber& other) const noexcept {
        return std::bit_cast<std::uint64_t>(d) == std::bit_cast<std::uint64_t>(other.d) &&
               argument == other.argument;
    }
};

// The exports (PyLong_Export) of a call's int arguments that are not
// compact, by position: taken as the arguments are read, and released with
// the holder, after the call.
template <int capacity>
class IntExports {
public:
    IntExports() noexcept = default;
    IntExports(const IntExports&) = delete;
    IntExports& operator=(const IntExports&) = delete;
    ~IntExports() {
        if (held_ != 0) [[unlikely]] {
            release();
        }
    }

    // The export of `exact_int`, the argument at `position`; null (and no
    // exception) if the interpreter could not export it, which it can for
    // every int.
    const PyLongExport* take(PyObject* exact_int, int position) noexcept {
        if (PyLong_Export(exact_int, &views_[position]) < 0) [[unlikely]] {
            PyErr_Clear();
            return nullptr;
        }
        held_ |= 1u << position;
        return &views_[position];
    }
    // By position; only those taken are filled.
    const PyLongExport* views() const noexcept { return views_; }

private:
    void release() noexcept {
        for (int position = 0; position < capacity; ++position) {
            if ((held_ >> position & 1u) != 0) {
                PyLong_FreeExport(&views_[position]);
            }
        }
    }

    PyLongExport views_[capacity];
    unsigned held_ = 0;
};

// How an argument reads without an export: as a number (an exact float,
// or a compact int), only with its export (another exact int), or not at
// all.
enum class Read { number, needs_export, not_number };

inline Read to_real(PyObject* object, RealNumber& number) noexcept {
    if (PyFloat_CheckExact(object)) {
        number = RealNumber::real(PyFloat_AS_DOUBLE(object));
        return Read::number;
    }
    if (!PyLong_CheckExact(object)) {
        return Read::not_number;
    }
    auto* integer = reinterpret_cast<PyLongObject*>(object);
    if (!PyUnstable_Long_IsCompact(integer)) {
        return Read::needs_export;
    }
    number = RealNumber::integer_value(PyUnstable_Long_CompactValue(integer));
    return Read::number;
}

// Reads `object`, the argument at `position`: true for an exact float or
// int.  An int that is not compact is exported into `exports`.
template <int capacity>
inline bool to_real(PyObject* object, int position, RealNumber& number,
                    IntExports<capacity>& exports) noexcept {
    Read read = to_real(object, number);
    if (read != Read::needs_export) {
        return read == Read::number;
    }
    const PyLongExport* exported = exports.take(object, position);
    if (exported == nullptr) {
        return false;
    }
    if (exported->digits == nullptr && exported->value >= -exact_double_limit &&
        exported->value <= exact_double_limit) {
        number = RealNumber::integer_value(exported->value);
    } else {
        number = RealNumber::large_int(position);
    }
    return true;
}

// A new reference to the object of a number: a float, or for a number
// marked shared `shared`, the object it stands for, or an int argument of
// the call whose arguments are `arguments`.
inline PyObject* from_machine(const RealNumber& number, PyObject* shared,
                              PyObject* const* arguments) noexcept {
    if (number.argument >= 0) [[unlikely]] {
        return Py_NewRef(arguments[number.argument]);
    }
    return number.shared ? Py_NewRef(shared) : PyFloat_FromDouble(number.d);
}

// With `large_ints`, a number may stand for a large int argument, and the
// operations test for one; without, none does and none tests.
template <bool large_ints>
class RealArithmetic : public Declining<RealNumber> {
public:
    using Number = RealNumber;

    // For the call whose int arguments' exports are `exports`, by position.
    explicit RealArithmetic(const PyLongExport* exports) noexcept : exports_(exports) {}

    // Whether `x` stands for a large int argument.
    bool large(const Number& x) const noexcept { return large_ints && x.argument >= 0; }

    Number constant(const IntConstant& K) const noexcept { return Number::integer_value(K.value); }

    // x % K (K > 0), in doubles; a large int's remainder from its digits.
    Number remainder(const Number& x, const IntConstant& K) noexcept {
        if (large(x)) {
            return Number::real(
                static_cast<double>(export_remainder(exports_[x.argument], K.value)));
        }
        return Number::real(float_remainder(x.d, static_cast<double>(K.value)));
    }
    Number add(const Number& a, const Number& b) noexcept {
        return either_large(a, b) ? decline() : Number::real(a.d + b.d);
    }
    Number subtract(const Number& a, const Number& b) noexcept {
        return either_large(a, b) ? decline() : Number::real(a.d - b.d);
    }
    Number multiply(const Number& a, const Number& b) noexcept {
        return either_large(a, b) ? decline() : Number::real(a.d * b.d);
    }
    Number divide(const Number& a, const Number& b) noexcept {
        return either_large(a, b) || b.d == 0.0 ? decline() : Number::real(a.d / b.d);
    }
    // -0 is 0 for an int; the bodies negate only floats.
    Number negative(const Number& x) noexcept { return x.integer ? decline() : Number::real(-x.d); }
    Number absolute(const Number& x) noexcept {
        return large(x) ? decline() : Number::real(std::fabs(x.d));
    }
    Number square(const Number& x) noexcept {
        double result;
        return !large(x) && float_square(x.d, result) ? Number::real(result) : decline();
    }
    Number sqrt(const Number& x) noexcept {
        double result;
        return !large(x) && float_sqrt(x.d, result) ? Number::real(result) : decline();
    }

    // A large int lies beyond every constant, on the side of its sign.
    bool compare(const Number& x, const IntConstant& K, int op) noexcept {
        if (large(x)) {
            const PyLongExport& exported = exports_[x.argument];
            bool negative =
                exported.digits != nullptr ? exported.negative != 0 : exported.value < 0;
            return holds(negative ? -1 : 1, 0, op);
        }
        return holds(x.d, static_cast<double>(K.value), op);
    }
    bool greater(const Number& a, const Number& b) noexcept {
        if (either_large(a, b)) {
            decline();
            return false;
        }
        return a.d > b.d;
    }

    // The count of passes of range(n): n must be an int of at most 53 bits.
    bool pass_count(const Number& n, std::int64_t& count) noexcept {
        if (!n.integer || large(n)) {
            decline();
            return false;
        }
        count = static_cast<std::int64_t>(n.d);
        return true;
    }

private:
    bool either_large(const Number& a, const Number& b) const noexcept {
        return large(a) || large(b);
    }

    const PyLongExport* exports_;
};

}  // namespace runtime
