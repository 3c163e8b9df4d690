// What both number layers share: the small int constants of a module's
// source, the reading of an exact int as a machine integer, the floor
// remainder and the truth of a comparison of two machine values.
#pragma once

#include <Python.h>
#include <cstdint>

namespace runtime {

// A small int constant of a module's source: its machine value and the slot
// of the interpreter object made from that very value at start-up
// (make_int_constant), so the two cannot disagree.
struct IntConstant {
    long value;
    PyObject** slot;

    PyObject* object() const noexcept { return *slot; }
};

// Fills the constant's slot with the int object of its value; -1 on failure.
inline int make_int_constant(const IntConstant& K) noexcept {
    PyObject* object = PyLong_FromLong(K.value);
    if (object == nullptr) {
        return -1;
    }
    Py_XSETREF(*K.slot, object);
    return 0;
}

// Ints whose conversion to a double is exact (magnitude at most 2**53): the
// interpreter divides two of them as doubles and compares one with a float
// by value, and a computation in doubles reproduces theirs.
inline constexpr std::int64_t exact_double_limit = std::int64_t{1} << 53;

// The value of an exact int when it fits in 64 bits; `compact` is set for
// one of a single digit (below 2**30), whose value is read without a call.
// Raises nothing.
inline bool int64_value(PyObject* exact_int, std::int64_t& value, bool& compact) noexcept {
    auto* number = reinterpret_cast<PyLongObject*>(exact_int);
    compact = PyUnstable_Long_IsCompact(number);
    if (compact) {
        value = PyUnstable_Long_CompactValue(number);
        return true;
    }
    int overflow = 0;
    value = PyLong_AsLongLongAndOverflow(exact_int, &overflow);
    return overflow == 0;
}

// v % divisor for a positive divisor, with the sign of the divisor, as the
// interpreter's int remainder gives it.
constexpr std::int64_t floor_remainder(std::int64_t v, std::int64_t divisor) noexcept {
    std::int64_t r = v % divisor;
    return r < 0 ? r + divisor : r;
}

// Truth of `a op b` for two machine values, op one of Py_LT ... Py_GE.
template <typename T>
constexpr bool holds(T a, T b, int op) noexcept {
    switch (op) {
        case Py_LT: return a < b;
        case Py_LE: return a <= b;
        case Py_EQ: return a == b;
        case Py_NE: return a != b;
        case Py_GT: return a > b;
        default: return a >= b;
    }
}

// The failure state of a machine arithmetic over `Number`: an operation
// that the interpreter would raise for declines, returns a meaningless
// number and sets `declined`, which callers test once per statement.
template <typename Number>
struct Declining {
    bool declined = false;

    Number decline() noexcept {
        declined = true;
        return {};
    }
};

}  // namespace runtime
