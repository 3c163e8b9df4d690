// The interpreter's float operations that have rules of their own, on
// doubles: the remainder by a positive constant, x ** 2 and math.sqrt.  Each
// gives the bits that the interpreter gives, or false where it would raise.
#pragma once

#include <cerrno>
#include <cmath>

namespace runtime {

// x % divisor for a positive divisor: fmod with the sign of the divisor and
// a signed zero fixed up, as float's remainder does.  fmod is exact, and for
// |x| below the divisor it is x itself.
inline double float_remainder(double x, double divisor) noexcept {
    double mod = std::fabs(x) < divisor ? x : std::fmod(x, divisor);
    if (mod) {
        if ((divisor < 0) != (mod < 0)) {
            mod += divisor;
        }
    } else {
        mod = std::copysign(0.0, divisor);
    }
    return mod;
}

namespace float_detail {

// Read at run time, so that the compiler cannot turn pow(v, 2.0) into v * v,
// which is not what the interpreter computes.
inline volatile double two = 2.0;

[[gnu::noinline]] inline double library_pow(double base, double exponent) noexcept {
    return std::pow(base, exponent);
}

}  // namespace float_detail

// x ** 2: the C library's pow after the interpreter's own special cases (its
// results differ from x * x in the last bit for some x); false on overflow.
inline bool float_square(double x, double& result) noexcept {
    if (std::isnan(x)) {
        result = x;
        return true;
    }
    if (std::isinf(x)) {
        result = std::fabs(x);
        return true;
    }
    if (x == 0.0) {
        result = 0.0;
        return true;
    }
    x = std::fabs(x);
    if (x == 1.0) {
        result = 1.0;
        return true;
    }
    errno = 0;
    result = float_detail::library_pow(x, float_detail::two);
    if (errno == 0 && std::isinf(result)) {
        errno = ERANGE;
    } else if (errno == ERANGE && result == 0.0) {
        errno = 0;
    }
    return errno == 0;
}

// math.sqrt of a double; false for a negative argument, where it raises.
inline bool float_sqrt(double x, double& result) noexcept {
    if (x < 0.0) {
        return false;
    }
    result = std::sqrt(x);
    return true;
}

}  // namespace runtime
