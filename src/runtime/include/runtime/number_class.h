// What both number layers share: the small int constants of a module's
// source, the reading of an exact int as a machine integer, the floor
// remainder and the truth of a comparison of two machine values.
#pragma once

#include <Python.h>
#include <cstdint>

#include "runtime/compat.h"

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

// The value of an exact int of more than one digit when it fits in 64 bits.
// Kept out of line: inlined, its export would widen the frame of every
// caller, and so the stack that each level of a deep recursion through the
// module's functions takes.
[[gnu::noinline]] inline bool wide_int64_value(PyObject* exact_int, std::int64_t& value) noexcept {
    PyLongExport exported{};
    PyLong_Export(exact_int, &exported);  // cannot fail: an int
    if (exported.digits != nullptr) {
        PyLong_FreeExport(&exported);
        return false;
    }
    value = exported.value;
    return true;
}

// The value of an exact int when it fits in 64 bits; `compact` is set for
// one of a single digit (below 2**30), whose value is read without a call.
// Raises nothing.
inline bool int64_value(PyObject* exact_int, std::int64_t& value, bool& compact) noexcept {
    auto* number = reinterpret_cast<PyLongObject*>(exact_int);
    compact = PyUnstable_Long_IsCompact(number);
    if (compact) [[likely]] {
        value = PyUnstable_Long_CompactValue(number);
        return true;
    }
    return wide_int64_value(exact_int, value);
}

// v % divisor for a positive divisor, with the sign of the divisor, as the
// interpreter's int remainder gives it.
constexpr std::int64_t floor_remainder(std::int64_t v, std::int64_t divisor) noexcept {
    std::int64_t r = v % divisor;
    return r < 0 ? r + divisor : r;
}

// The floor remainder by a divisor in [1, 2**31) of the int that `exported`
// holds (PyLong_Export), as the interpreter's int remainder gives it,
// computed from its digits: nothing is allocated, no code runs, nothing is
// raised.
inline std::int64_t export_remainder(const PyLongExport& exported, std::int64_t divisor) noexcept {
    if (exported.digits == nullptr) {
        return floor_remainder(exported.value, divisor);
    }
    const PyLongLayout& layout = *PyLong_GetNativeLayout();
    const int bits = layout.bits_per_digit;  // at most 30
    auto digit = [&](Py_ssize_t i) -> std::uint64_t {
        return layout.digit_size == 4 ? static_cast<const std::uint32_t*>(exported.digits)[i]
                                      : static_cast<const std::uint16_t*>(exported.digits)[i];
    };
    const auto modulus = static_cast<std::uint64_t>(divisor);
    const Py_ssize_t count = exported.ndigits;
    std::uint64_t r;
    if (count <= 4) {
        // Each digit times its weight, 2**(bits * i) mod divisor, summed:
        // below 4 * 2**30 * 2**31 = 2**63.  With a constant divisor the
        // weights are constants too.
        std::uint64_t sum = 0;
        std::uint64_t weight = 1 % modulus;
        for (Py_ssize_t i = 0; i < 4; ++i) {
            if (i < count) {
                sum += digit(i) * weight;
            }
            weight = (weight << bits) % modulus;
        }
        r = sum % modulus;
    } else {
        // Most significant first, two digits at a time: with r and the
        // weight of a pair both below the divisor, r * weight + pair <
        // 2**62 + 2**60.
        const std::uint64_t weight = (std::uint64_t{1} << (2 * bits)) % modulus;
        Py_ssize_t i = count;
        r = i % 2 != 0 ? digit(--i) % modulus : 0;
        while (i > 0) {
            i -= 2;
            r = (r * weight + ((digit(i + 1) << bits) | digit(i))) % modulus;
        }
    }
    return static_cast<std::int64_t>(exported.negative != 0 && r != 0 ? modulus - r : r);
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
