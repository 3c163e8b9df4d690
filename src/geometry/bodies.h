// The eight function bodies, each written once over a number domain D: the
// interpreter-object domain (Objects, every operation through the number
// protocol, module-level names looked up at each use) or the machine domain
// (Machine, the same operations on exact ints and floats).  One statement of
// the source per block; `d.failed(line)` after it reports that line when
// any operation of the statement failed (the machine domain reports nothing
// and its caller re-runs the call on objects).  An operation after a failed
// one in the same statement does nothing.  C++ leaves the order of function
// arguments open, so an operation whose two operands both need work gets
// them as named values, computed in the source's order.
#pragma once

#include "module_state.h"

namespace geometry {

inline constexpr runtime::IntConstant k0 = int_constant(INT_0);
inline constexpr runtime::IntConstant k_minus_1 = int_constant(INT_MINUS_1);
inline constexpr runtime::IntConstant k1 = int_constant(INT_1);
inline constexpr runtime::IntConstant k2 = int_constant(INT_2);
inline constexpr runtime::IntConstant k_minus_90 = int_constant(INT_MINUS_90);
inline constexpr runtime::IntConstant k90 = int_constant(INT_90);
inline constexpr runtime::IntConstant k_minus_180 = int_constant(INT_MINUS_180);
inline constexpr runtime::IntConstant k180 = int_constant(INT_180);
inline constexpr runtime::IntConstant k270 = int_constant(INT_270);
inline constexpr runtime::IntConstant k360 = int_constant(INT_360);

template <typename D>
using Value = typename D::Value;

// Lines 30 to 42 of sin: the series for the reduced angle.
template <typename D>
Value<D> sine_series(D& d, const Value<D>& angle, const Value<D>& sign) noexcept {
    Value<D> x = d.div_const(d.multiply(angle, d.pi()), k180);                  // 30
    if (d.failed(30)) return {};
    Value<D> term = x;
    const double tol = 1e-15;
    Value<D> result = d.float_zero();
    Value<D> i = d.constant(k0);
    for (long pass = 0;; ++pass) {
        Value<D> magnitude = d.abs(term);                                       // 37
        bool test = d.loop_pass(pass) && d.greater(magnitude, d.real(tol));
        if (d.failed(37)) return {};
        if (!test) break;
        result = d.add(result, term, true);                                     // 38
        if (d.failed(38)) return {};
        i = d.add_const(i, k1, true);                                           // 39
        if (d.failed(39)) return {};
        // term *= -x * x / ((2 * i) * (2 * i + 1))
        Value<D> square = d.multiply(d.negative(x), x);                         // 40
        Value<D> twice = d.rmul_const(k2, i);
        Value<D> denominator = d.multiply(twice, d.add_const(d.rmul_const(k2, i), k1, false));
        term = d.multiply(term, d.divide(square, denominator), true);
        if (d.failed(40)) return {};
    }
    Value<D> value = d.multiply(sign, result);                                  // 42
    if (d.failed(42)) return {};
    return value;
}

template <typename D>
Value<D> sin_body(D& d, Value<D> angle) noexcept {
    angle = d.rem(angle, k360);                                                 // 19
    if (d.failed(19)) return {};
    bool test = d.ge(angle, k180);                                              // 20
    if (d.failed(20)) return {};
    if (test) {
        angle = d.isub(angle, k360);                                            // 21
        if (d.failed(21)) return {};
    }
    Value<D> sign = d.constant(k1);
    test = d.gt(angle, k90);                                                    // 24
    if (d.failed(24)) return {};
    if (test) {
        angle = d.rsub(k180, angle);                                            // 25
        if (d.failed(25)) return {};
    } else {
        test = d.lt(angle, k_minus_90);                                         // 26
        if (d.failed(26)) return {};
        if (test) {
            angle = d.rsub(k_minus_180, angle);                                 // 27
            if (d.failed(27)) return {};
        }
    }
    // From here on the result depends on the reduced angle alone; a domain
    // may reuse the series of an equal reduced angle within one call.
    return d.series_of(angle, [&] { return sine_series(d, angle, sign); });
}

// algebra.sqrt(1 - sin(angle) * sin(angle)), in that order: algebra.sqrt,
// then each sin looked up and called, then the arithmetic and the call.
template <typename D>
Value<D> cosine_root(D& d, const Value<D>& angle) noexcept {
    auto sqrt = d.sqrt();
    Value<D> first = d.call(d.function(POOL_SIN), angle);
    Value<D> second = d.call(d.function(POOL_SIN), angle);
    return d.call(sqrt, d.rsub(k1, d.multiply(first, second)));
}

template <typename D>
Value<D> cosin_body(D& d, Value<D> angle) noexcept {
    angle = d.rem(angle, k360);                                                 // 56
    if (d.failed(56)) return {};
    bool test = (d.ge(angle, k0) && d.lt(angle, k90)) ||                        // 58
                (d.ge(angle, k270) && d.le(angle, k360));
    if (d.failed(58)) return {};
    if (test) {
        Value<D> cosine = cosine_root(d, angle);                                // 59
        if (d.failed(59)) return {};
        return cosine;                                                          // 62
    }
    test = (d.ge(angle, k90) && d.lt(angle, k180)) ||                           // 60
           (d.ge(angle, k180) && d.lt(angle, k270));
    if (d.failed(60)) return {};
    if (test) {
        Value<D> cosine = d.rmul_const(k_minus_1, cosine_root(d, angle));      // 61
        if (d.failed(61)) return {};
        return cosine;                                                          // 62
    }
    d.unbound_local("cosine");                                                  // 62
    d.failed(62);
    return {};
}

template <typename D>
Value<D> tan_body(D& d, const Value<D>& angle) noexcept {
    Value<D> sine = d.call(d.function(POOL_SIN), angle);                        // 76
    Value<D> quotient = d.divide(sine, d.call(d.function(POOL_COSIN), angle));
    if (d.failed(76)) return {};
    return quotient;
}

template <typename D>
Value<D> tan_rad_body(D& d, double rad) noexcept {
    // sin(rad * 180.0 / constants.pi) / cosin(rad * 180.0 / constants.pi),
    // the product rounded once, each quotient from a new float and a fresh pi.
    auto sin = d.function(POOL_SIN);                                            // 82
    const double degrees = rad * 180.0;
    Value<D> numerator = d.real(degrees);
    Value<D> sine = d.call(sin, d.divide(numerator, d.pi()));
    auto cosin = d.function(POOL_COSIN);
    numerator = d.real(degrees);
    Value<D> cosine = d.call(cosin, d.divide(numerator, d.pi()));
    Value<D> quotient = d.divide(sine, cosine);
    if (d.failed(82)) return {};
    return quotient;
}

// half_pi - arctan(1 / x, iter), half_pi being pi / 2 or (-pi) / 2.
template <typename D>
Value<D> arctan_fold(D& d, const Value<D>& x, const Value<D>& iter, bool negative) noexcept {
    Value<D> pi = d.pi();
    Value<D> half_pi = d.div_const(negative ? d.negative(pi) : pi, k2);
    auto arctan = d.function(POOL_ARCTAN);
    Value<D> folded = d.call(arctan, d.divide(d.constant(k1), x), iter);
    return d.subtract(half_pi, folded);
}

template <typename D>
Value<D> arctan_body(D& d, const Value<D>& x, const Value<D>& iter) noexcept {
    bool test = d.gt(x, k1);                                                    // 97
    if (d.failed(97)) return {};
    if (test) {
        Value<D> angle = arctan_fold(d, x, iter, false);                       // 98
        if (d.failed(98)) return {};
        return angle;
    }
    test = d.lt(x, k_minus_1);                                                  // 99
    if (d.failed(99)) return {};
    if (test) {
        Value<D> angle = arctan_fold(d, x, iter, true);                        // 100
        if (d.failed(100)) return {};
        return angle;
    }
    Value<D> theta = d.float_zero();
    auto passes = d.range(iter);                                                // 103
    if (d.failed(103)) return {};
    for (;;) {
        bool more = d.next(passes);                                             // 103
        if (d.failed(103)) return {};
        if (!more) break;
        // theta = theta - (_tan_rad(theta) - x) / (1 + _tan_rad(theta) ** 2)
        Value<D> residual = d.subtract(d.call(d.function(POOL_TAN_RAD), theta), x);  // 108
        Value<D> t2 = d.call(d.function(POOL_TAN_RAD), theta);
        theta = d.subtract(theta, d.divide(residual, d.radd_const(k1, d.square(t2))));
        if (d.failed(108)) return {};
    }
    return theta;
}

template <typename D>
Value<D> arctan_of_quotient(D& d, const Value<D>& x, const Value<D>& y) noexcept {
    auto arctan = d.function(POOL_ARCTAN);
    return d.call(arctan, d.divide(y, x));
}

template <typename D>
Value<D> arctan2_body(D& d, const Value<D>& x, const Value<D>& y) noexcept {
    bool test = d.gt(x, k0);                                                    // 126
    if (d.failed(126)) return {};
    if (test) {
        Value<D> angle = arctan_of_quotient(d, x, y);                          // 127
        if (d.failed(127)) return {};
        return angle;
    }
    test = d.lt(x, k0) && d.ge(y, k0);                                          // 128
    if (d.failed(128)) return {};
    if (test) {
        Value<D> angle = arctan_of_quotient(d, x, y);                          // 129
        angle = d.add(angle, d.pi());
        if (d.failed(129)) return {};
        return angle;
    }
    test = d.lt(x, k0) && d.lt(y, k0);                                          // 130
    if (d.failed(130)) return {};
    if (test) {
        Value<D> angle = arctan_of_quotient(d, x, y);                          // 131
        angle = d.subtract(angle, d.pi());
        if (d.failed(131)) return {};
        return angle;
    }
    test = d.eq_const(x, k0) && d.gt(y, k0);                                    // 132
    if (d.failed(132)) return {};
    if (test) {
        Value<D> angle = d.div_const(d.pi(), k2);                               // 133
        if (d.failed(133)) return {};
        return angle;
    }
    test = d.eq_const(x, k0) && d.lt(y, k0);                                    // 134
    if (d.failed(134)) return {};
    if (test) {
        Value<D> angle = d.div_const(d.negative(d.pi()), k2);                   // 135
        if (d.failed(135)) return {};
        return angle;
    }
    return d.float_zero();                                                      // 137
}

template <typename D>
Value<D> arcsin_body(D& d, const Value<D>& x) noexcept {
    // result = arctan2(x, algebra.sqrt(1 - x ** 2))
    auto arctan2 = d.function(POOL_ARCTAN2);                                    // 151
    auto sqrt = d.sqrt();
    Value<D> result = d.call(arctan2, x, d.call(sqrt, d.rsub(k1, d.square(x))));
    if (d.failed(151)) return {};
    return result;
}

template <typename D>
Value<D> arccos_body(D& d, const Value<D>& x) noexcept {
    // result = constants.pi / 2 - arcsin(x)
    Value<D> half_pi = d.div_const(d.pi(), k2);                                 // 167
    auto arcsin = d.function(POOL_ARCSIN);
    Value<D> result = d.subtract(half_pi, d.call(arcsin, x));
    if (d.failed(167)) return {};
    return result;
}

}  // namespace geometry
