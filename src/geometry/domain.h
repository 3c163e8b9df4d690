// What a number domain offers the function bodies (bodies.h): one name per
// operation of the source, each with an overload for an int constant on the
// side where the source has one.  Objects (objects_domain.h) computes on
// interpreter objects, Machine (machine_domain.h) on machine numbers.
//
// Every operation after a failed one in the same statement does nothing;
// `failed_with_traceback(line)` ends a statement: it tells whether any
// operation of it failed and, in a domain that reports failures, records the
// traceback entry of `line`.
#pragma once

#include <concepts>

#include "pool_index.h"
#include "runtime/number_class.h"

namespace geometry {

// A module-level name that a body looks up, as a type of its own: a domain
// may resolve it when the body is compiled.
template <Pool name>
struct GlobalName {
    static constexpr Pool pool = name;
};
template <Pool name>
inline constexpr GlobalName<name> global{};

template <typename D>
concept NumberDomain = requires(D d, const typename D::Value& a, const typename D::Value& b,
                                const runtime::IntConstant& K, typename D::Passes& passes) {
    typename D::Value;
    typename D::Passes;  // the iteration of range(n)
    // Whether a call of the module's functions is resolved when the body is
    // compiled rather than through the name's object.
    { D::calls_resolved } -> std::convertible_to<bool>;

    { d.failed_with_traceback(0) } -> std::same_as<bool>;

    // Values: an int constant, the module's 0.0, a new float, constants.pi.
    { d.constant(K) } -> std::same_as<typename D::Value>;
    { d.float_zero() } -> std::same_as<typename D::Value>;
    { d.real(0.0) } -> std::same_as<typename D::Value>;
    { d.pi() } -> std::same_as<typename D::Value>;

    // Names: algebra.sqrt and the module-level function names, and calls of
    // what they hold.
    { d.call(d.sqrt(), a) } -> std::same_as<typename D::Value>;
    { d.call(d.function(global<POOL_SIN>), a) } -> std::same_as<typename D::Value>;
    { d.call(d.function(global<POOL_ARCTAN>), a, b) } -> std::same_as<typename D::Value>;

    // Arithmetic, in the source's operand order; `_in_place` for x op= y.
    { d.add(a, b) } -> std::same_as<typename D::Value>;
    { d.add(a, K) } -> std::same_as<typename D::Value>;
    { d.add(K, a) } -> std::same_as<typename D::Value>;
    { d.add_in_place(a, b) } -> std::same_as<typename D::Value>;
    { d.add_in_place(a, K) } -> std::same_as<typename D::Value>;
    { d.subtract(a, b) } -> std::same_as<typename D::Value>;
    { d.subtract(K, a) } -> std::same_as<typename D::Value>;
    { d.subtract_in_place(a, K) } -> std::same_as<typename D::Value>;
    { d.multiply(a, b) } -> std::same_as<typename D::Value>;
    { d.multiply(K, a) } -> std::same_as<typename D::Value>;
    { d.multiply_in_place(a, b) } -> std::same_as<typename D::Value>;
    { d.divide(a, b) } -> std::same_as<typename D::Value>;
    { d.divide(a, K) } -> std::same_as<typename D::Value>;
    { d.remainder(a, K) } -> std::same_as<typename D::Value>;
    { d.negative(a) } -> std::same_as<typename D::Value>;
    { d.absolute(a) } -> std::same_as<typename D::Value>;
    { d.square(a) } -> std::same_as<typename D::Value>;  // a ** 2

    // Comparisons and their truth.
    { d.greater(a, b) } -> std::same_as<bool>;
    { d.greater(a, K) } -> std::same_as<bool>;
    { d.greater_equal(a, K) } -> std::same_as<bool>;
    { d.less(a, K) } -> std::same_as<bool>;
    { d.less_equal(a, K) } -> std::same_as<bool>;
    { d.equal(a, K) } -> std::same_as<bool>;

    // Loops: a pass of an unbounded loop, and for _ in range(n).
    { d.loop_pass(0L) } -> std::same_as<bool>;
    { d.range(a) } -> std::same_as<typename D::Passes>;
    { d.next(passes) } -> std::same_as<bool>;

    // The sine series of a reduced angle, which a domain may reuse for an
    // equal reduced angle within one call.
    {
        d.series_of(a, [] { return typename D::Value(); })
    } -> std::same_as<typename D::Value>;

    // A read of a local that no path assigned.
    { d.unbound_local("name") } -> std::same_as<void>;
};

}  // namespace geometry
