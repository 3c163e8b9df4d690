// The interpreter's arithmetic on exact ints and floats, reproduced in
// machine numbers: each operation gives the bits the interpreter's own
// operator gives, in the same operand order, or declines.  A declined
// operation (an int result beyond 64 bits, a division by zero, an
// overflowing power, anything the interpreter would raise for) sets the
// `declined` flag; the caller then runs its interpreter-object path from the
// start, which raises exactly what the interpreter raises.
#pragma once

#include <Python.h>
#include <cmath>
#include <cstdint>

#include "runtime/compat.h"
#include "runtime/float_operations.h"
#include "runtime/machine_number.h"

namespace runtime {

// The operations, each of which may decline (Declining).
class MachineArithmetic : public Declining<MachineNumber> {
public:
    using Number = MachineNumber;

    Number constant(const IntConstant& K) const noexcept { return Number::integer(K.value); }

    // x % K (K > 0): the floor remainder.
    Number remainder(const Number& x, const IntConstant& K) noexcept {
        if (x.is_integer()) {
            return Number::integer(floor_remainder(x.i, K.value));
        }
        if (x.is_real()) {
            return Number::real(float_remainder(x.d, static_cast<double>(K.value)));
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

    // x ** 2.  An int is squared exactly.
    Number square(const Number& x) noexcept {
        if (x.is_integer()) {
            return multiply(x, x);
        }
        if (!x.is_real()) {
            return decline();
        }
        double result;
        return float_square(x.d, result) ? Number::real(result) : decline();
    }

    // math.sqrt: an int is converted first; a negative argument raises there.
    Number sqrt(const Number& x) noexcept {
        if (x.is_big()) {
            return decline();
        }
        double result;
        return float_sqrt(x.as_double(), result) ? Number::real(result) : decline();
    }

    // The comparisons of an operand with a small constant, and their truth.
    bool compare(const Number& x, const IntConstant& K, int op) noexcept {
        if (x.is_integer()) {
            return holds(x.i, K.value, op);
        }
        if (x.is_real()) {
            return holds(x.d, static_cast<double>(K.value), op);
        }
        // A big int lies beyond every small constant, on the side of its sign.
        int sign = 0;
        PyLong_GetSign(x.big, &sign);  // cannot fail: `big` is an int
        return holds(sign, 0, op);
    }
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

    // The count of passes of range(n): n must be an int.
    bool pass_count(const Number& n, std::int64_t& count) noexcept {
        if (!n.is_integer()) {
            decline();
            return false;
        }
        count = n.i;
        return true;
    }

private:
    static bool exact(const Number& x) noexcept {
        return x.i >= -exact_double_limit && x.i <= exact_double_limit;
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
