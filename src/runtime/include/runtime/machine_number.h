// Exact ints and floats as machine numbers: the representation that the
// machine arithmetic (machine_arithmetic.h) computes on, and the conversions
// from and to interpreter objects.
#pragma once

#include <Python.h>
#include <bit>
#include <cstdint>

#include "runtime/number_class.h"

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
            case Kind::integer: return i == other.i;
            case Kind::real:
                return std::bit_cast<std::uint64_t>(d) == std::bit_cast<std::uint64_t>(other.d);
            default: return big == other.big;
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
    std::int64_t value;
    bool compact;
    if (int64_value(object, value, compact)) {
        number = MachineNumber::integer(value);
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
        case MachineNumber::Kind::integer: return PyLong_FromLongLong(number.i);
        case MachineNumber::Kind::real: return PyFloat_FromDouble(number.d);
        default: return Py_NewRef(number.big);
    }
}

}  // namespace runtime
