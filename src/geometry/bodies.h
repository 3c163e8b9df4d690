// The eight function bodies, each written once over a number domain D: the
// interpreter-object domain (Objects, every operation through the number
// protocol, module-level names looked up at each use) or the machine domain
// (Machine, the same operations on exact ints and floats).  One statement of
// the source per block; `d.failed_with_traceback(line)` after it reports that line when
// any operation of the statement failed (the machine domain reports nothing
// and its caller re-runs the call on objects).  An operation after a failed
// one in the same statement does nothing.  C++ leaves the order of function
// arguments open, so an operation whose two operands both need work gets
// them as named values, computed in the source's order.
#pragma once

#include <utility>

#include "domain.h"
#include "function_table.h"
#include "module_state.h"

namespace geometry {

template <NumberDomain D>
using Value = typename D::Value;

// Lines 30 to 42 of sin: the series for the reduced angle.
template <NumberDomain D>
Value<D> sine_series(D& d, const Value<D>& angle, const Value<D>& sign) noexcept {
    Value<D> x = d.divide(d.multiply(angle, d.pi()), k<180>);  // 30
    if (d.failed_with_traceback(30)) return {};
    Value<D> term = x;
    const double tol = 1e-15;
    Value<D> result = d.float_zero();
    Value<D> i = d.constant(k<0>);
    for (long pass = 0;; ++pass) {
        Value<D> magnitude = d.absolute(term);  // 37
        bool test = d.loop_pass(pass) && d.greater(magnitude, d.real(tol));
        if (d.failed_with_traceback(37)) return {};
        if (!test) break;
        result = d.add_in_place(result, term);  // 38
        if (d.failed_with_traceback(38)) return {};
        i = d.add_in_place(i, k<1>);  // 39
        if (d.failed_with_traceback(39)) return {};
        // term *= -x * x / ((2 * i) * (2 * i + 1))
        Value<D> square = d.multiply(d.negative(x), x);  // 40
        Value<D> twice = d.multiply(k<2>, i);
        Value<D> denominator = d.multiply(twice, d.add(d.multiply(k<2>, i), k<1>));
        term = d.multiply_in_place(term, d.divide(square, denominator));
        if (d.failed_with_traceback(40)) return {};
    }
    Value<D> value = d.multiply(sign, result);  // 42
    if (d.failed_with_traceback(42)) return {};
    return value;
}

template <NumberDomain D>
Value<D> sin_body(D& d, Value<D> angle) noexcept {
    angle = d.remainder(angle, k<360>);  // 19
    if (d.failed_with_traceback(19)) return {};
    bool test = d.greater_equal(angle, k<180>);  // 20
    if (d.failed_with_traceback(20)) return {};
    if (test) {
        angle = d.subtract_in_place(angle, k<360>);  // 21
        if (d.failed_with_traceback(21)) return {};
    }
    Value<D> sign = d.constant(k<1>);
    test = d.greater(angle, k<90>);  // 24
    if (d.failed_with_traceback(24)) return {};
    if (test) {
        angle = d.subtract(k<180>, angle);  // 25
        if (d.failed_with_traceback(25)) return {};
    } else {
        test = d.less(angle, k<-90>);  // 26
        if (d.failed_with_traceback(26)) return {};
        if (test) {
            angle = d.subtract(k<-180>, angle);  // 27
            if (d.failed_with_traceback(27)) return {};
        }
    }
    // From here on the result depends on the reduced angle alone; a domain
    // may reuse the series of an equal reduced angle within one call.
    return d.series_of(angle, [&] { return sine_series(d, angle, sign); });
}

// algebra.sqrt(1 - sin(angle) * sin(angle)), in that order: algebra.sqrt,
// then each sin looked up and called, then the arithmetic and the call.
template <NumberDomain D>
Value<D> cosine_root(D& d, const Value<D>& angle) noexcept {
    auto sqrt = d.sqrt();
    Value<D> first = d.call(d.function(global<POOL_SIN>), angle);
    Value<D> second = d.call(d.function(global<POOL_SIN>), angle);
    return d.call(sqrt, d.subtract(k<1>, d.multiply(first, second)));
}

template <NumberDomain D>
Value<D> cosin_body(D& d, Value<D> angle) noexcept {
    angle = d.remainder(angle, k<360>);  // 56
    if (d.failed_with_traceback(56)) return {};
    bool test = (d.greater_equal(angle, k<0>) && d.less(angle, k<90>)) ||  // 58
                (d.greater_equal(angle, k<270>) && d.less_equal(angle, k<360>));
    if (d.failed_with_traceback(58)) return {};
    if (test) {
        Value<D> cosine = cosine_root(d, angle);  // 59
        if (d.failed_with_traceback(59)) return {};
        return cosine;  // 62
    }
    test = (d.greater_equal(angle, k<90>) && d.less(angle, k<180>)) ||  // 60
           (d.greater_equal(angle, k<180>) && d.less(angle, k<270>));
    if (d.failed_with_traceback(60)) return {};
    if (test) {
        Value<D> cosine = d.multiply(k<-1>, cosine_root(d, angle));  // 61
        if (d.failed_with_traceback(61)) return {};
        return cosine;  // 62
    }
    d.unbound_local("cosine");  // 62
    d.failed_with_traceback(62);
    return {};
}

template <NumberDomain D>
Value<D> tan_body(D& d, const Value<D>& angle) noexcept {
    Value<D> sine = d.call(d.function(global<POOL_SIN>), angle);  // 76
    Value<D> quotient = d.divide(sine, d.call(d.function(global<POOL_COSIN>), angle));
    if (d.failed_with_traceback(76)) return {};
    return quotient;
}

template <NumberDomain D>
Value<D> tan_rad_body(D& d, double rad) noexcept {
    // sin(rad * 180.0 / constants.pi) / cosin(rad * 180.0 / constants.pi),
    // the product rounded once, each quotient from a new float and a fresh pi.
    auto sin = d.function(global<POOL_SIN>);  // 82
    const double degrees = rad * 180.0;
    Value<D> numerator = d.real(degrees);
    Value<D> sine = d.call(sin, d.divide(numerator, d.pi()));
    auto cosin = d.function(global<POOL_COSIN>);
    numerator = d.real(degrees);
    Value<D> cosine = d.call(cosin, d.divide(numerator, d.pi()));
    Value<D> quotient = d.divide(sine, cosine);
    if (d.failed_with_traceback(82)) return {};
    return quotient;
}

// half_pi - arctan(1 / x, iter), half_pi being pi / 2 or (-pi) / 2.
template <NumberDomain D>
Value<D> arctan_fold(D& d, const Value<D>& x, const Value<D>& iter, bool negative) noexcept {
    Value<D> pi = d.pi();
    Value<D> half_pi = d.divide(negative ? d.negative(pi) : pi, k<2>);
    auto arctan = d.function(global<POOL_ARCTAN>);
    Value<D> folded = d.call(arctan, d.divide(d.constant(k<1>), x), iter);
    return d.subtract(half_pi, folded);
}

template <NumberDomain D>
Value<D> arctan_steps(D& d, const Value<D>& x, const Value<D>& iter) noexcept {
    bool test = d.greater(x, k<1>);  // 97
    if (d.failed_with_traceback(97)) return {};
    if (test) {
        Value<D> angle = arctan_fold(d, x, iter, false);  // 98
        if (d.failed_with_traceback(98)) return {};
        return angle;
    }
    test = d.less(x, k<-1>);  // 99
    if (d.failed_with_traceback(99)) return {};
    if (test) {
        Value<D> angle = arctan_fold(d, x, iter, true);  // 100
        if (d.failed_with_traceback(100)) return {};
        return angle;
    }
    Value<D> theta = d.float_zero();
    auto passes = d.range(iter);  // 103
    if (d.failed_with_traceback(103)) return {};
    for (;;) {
        bool more = d.next(passes);  // 103
        if (d.failed_with_traceback(103)) return {};
        if (!more) break;
        // theta = theta - (_tan_rad(theta) - x) / (1 + _tan_rad(theta) ** 2)
        Value<D> residual = d.subtract(d.call(d.function(global<POOL_TAN_RAD>), theta), x);  // 108
        Value<D> t2 = d.call(d.function(global<POOL_TAN_RAD>), theta);
        theta = d.subtract(theta, d.divide(residual, d.add(k<1>, d.square(t2))));
        if (d.failed_with_traceback(108)) return {};
    }
    return theta;
}

template <NumberDomain D>
    requires(!D::calls_resolved)
Value<D> arctan_body(D& d, const Value<D>& x, const Value<D>& iter) noexcept {
    return arctan_steps(d, x, iter);
}

// Where the module's calls are resolved when the body is compiled: compiled
// as one function with what it calls, as each row's machine path is.  Its
// call of itself (|x| > 1) is a cycle, which leaves the callee out of the
// path that makes the call, and every row that reaches arctan with an |x|
// above 1 runs its Newton steps in that callee.  On objects, flattened, each
// level of a recursion would hold the temporaries of everything it calls.
template <NumberDomain D>
    requires D::calls_resolved
[[gnu::flatten]] Value<D> arctan_body(D& d, const Value<D>& x, const Value<D>& iter) noexcept {
    return arctan_steps(d, x, iter);
}

template <NumberDomain D>
Value<D> arctan_of_quotient(D& d, const Value<D>& x, const Value<D>& y) noexcept {
    auto arctan = d.function(global<POOL_ARCTAN>);
    return d.call(arctan, d.divide(y, x));
}

template <NumberDomain D>
Value<D> arctan2_body(D& d, const Value<D>& x, const Value<D>& y) noexcept {
    bool test = d.greater(x, k<0>);  // 126
    if (d.failed_with_traceback(126)) return {};
    if (test) {
        Value<D> angle = arctan_of_quotient(d, x, y);  // 127
        if (d.failed_with_traceback(127)) return {};
        return angle;
    }
    test = d.less(x, k<0>) && d.greater_equal(y, k<0>);  // 128
    if (d.failed_with_traceback(128)) return {};
    if (test) {
        Value<D> angle = arctan_of_quotient(d, x, y);  // 129
        angle = d.add(angle, d.pi());
        if (d.failed_with_traceback(129)) return {};
        return angle;
    }
    test = d.less(x, k<0>) && d.less(y, k<0>);  // 130
    if (d.failed_with_traceback(130)) return {};
    if (test) {
        Value<D> angle = arctan_of_quotient(d, x, y);  // 131
        angle = d.subtract(angle, d.pi());
        if (d.failed_with_traceback(131)) return {};
        return angle;
    }
    test = d.equal(x, k<0>) && d.greater(y, k<0>);  // 132
    if (d.failed_with_traceback(132)) return {};
    if (test) {
        Value<D> angle = d.divide(d.pi(), k<2>);  // 133
        if (d.failed_with_traceback(133)) return {};
        return angle;
    }
    test = d.equal(x, k<0>) && d.less(y, k<0>);  // 134
    if (d.failed_with_traceback(134)) return {};
    if (test) {
        Value<D> angle = d.divide(d.negative(d.pi()), k<2>);  // 135
        if (d.failed_with_traceback(135)) return {};
        return angle;
    }
    return d.float_zero();  // 137
}

template <NumberDomain D>
Value<D> arcsin_body(D& d, const Value<D>& x) noexcept {
    // result = arctan2(x, algebra.sqrt(1 - x ** 2))
    auto arctan2 = d.function(global<POOL_ARCTAN2>);  // 151
    auto sqrt = d.sqrt();
    Value<D> result = d.call(arctan2, x, d.call(sqrt, d.subtract(k<1>, d.square(x))));
    if (d.failed_with_traceback(151)) return {};
    return result;
}

template <NumberDomain D>
Value<D> arccos_body(D& d, const Value<D>& x) noexcept {
    // result = constants.pi / 2 - arcsin(x)
    Value<D> half_pi = d.divide(d.pi(), k<2>);  // 167
    auto arcsin = d.function(global<POOL_ARCSIN>);
    Value<D> result = d.subtract(half_pi, d.call(arcsin, x));
    if (d.failed_with_traceback(167)) return {};
    return result;
}

// The body of row `index` over domain `d`, on the bound arguments; sin and
// cosin rebind their argument and take it over.
template <int index, NumberDomain D>
Value<D> body(D& d, Value<D>* a, double number) noexcept {
    if constexpr (index == SIN) {
        return sin_body(d, std::move(a[0]));
    } else if constexpr (index == COSIN) {
        return cosin_body(d, std::move(a[0]));
    } else if constexpr (index == TAN) {
        return tan_body(d, a[0]);
    } else if constexpr (index == TAN_RAD) {
        return tan_rad_body(d, number);
    } else if constexpr (index == ARCTAN) {
        return arctan_body(d, a[0], a[1]);
    } else if constexpr (index == ARCTAN2) {
        return arctan2_body(d, a[0], a[1]);
    } else if constexpr (index == ARCSIN) {
        return arcsin_body(d, a[0]);
    } else {
        return arccos_body(d, a[0]);
    }
}

}  // namespace geometry
