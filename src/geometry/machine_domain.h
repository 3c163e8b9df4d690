// The machine domain: exact ints and floats in doubles (real_arithmetic.h),
// under module-level names proven unchanged for the call (watched_names.h).  The
// module's own functions are entered directly (machine_calls.h),
// `constants.pi` is a double and `algebra.sqrt` is math.sqrt.  Whatever the
// object path would raise for, the machine path declines, and the call is
// re-run on objects from the start; since the machine path runs no code of
// anyone else's, the re-run cannot be told from a first run.
#pragma once

#include <cstdint>
#include <utility>

#include "domain.h"
#include "module_state.h"
#include "runtime/real_arithmetic.h"
#include "watched_names.h"

namespace geometry {

// Over `Arithmetic`: RealArithmetic for a call whose ints all convert to
// doubles exactly, or the same for one with a larger int argument.
template <typename Arithmetic>
class Machine {
public:
    using Value = typename Arithmetic::Number;
    // What a looked-up name holds, known when the body is compiled: the
    // module's function of row `index`, or math.sqrt.
    template <int index>
    struct Function {};
    struct Sqrt {};
    struct Passes {
        std::int64_t remaining = 0;
    };
    // A call of a module's function runs its row's body directly.
    static constexpr bool calls_resolved = true;

    // For the call whose int arguments' exports are `exports`, by position.
    Machine(const WatchedNames& names, const PyLongExport* exports) noexcept
        : arithmetic_(exports), pi_(names.pi) {}

    bool declined() const noexcept { return arithmetic_.declined; }
    // Nothing is recorded: the caller re-runs a declined call on objects.
    bool failed_with_traceback(int) const noexcept { return arithmetic_.declined; }

    Value constant(const runtime::IntConstant& K) const noexcept { return arithmetic_.constant(K); }
    Value float_zero() const noexcept {
        Value zero = Value::real(0.0);
        zero.shared = true;  // boxed as state.float_zero itself
        return zero;
    }
    Value real(double value) const noexcept { return Value::real(value); }
    Value pi() const noexcept { return Value::real(pi_); }

    Sqrt sqrt() const noexcept { return {}; }
    template <Pool name>
    static constexpr auto function(GlobalName<name>) noexcept;
    Value call(Sqrt, const Value& x) noexcept { return declined() ? Value() : arithmetic_.sqrt(x); }
    template <int index, typename... Args>
    Value call(Function<index>, const Args&... args) noexcept;

    Value add(const Value& a, const Value& b) noexcept { return arithmetic_.add(a, b); }
    Value add(const Value& x, const runtime::IntConstant& K) noexcept {
        return arithmetic_.add(x, constant(K));
    }
    Value add(const runtime::IntConstant& K, const Value& x) noexcept {
        return arithmetic_.add(constant(K), x);
    }
    // Exact ints and floats have no in-place operators of their own.
    Value add_in_place(const Value& a, const Value& b) noexcept { return add(a, b); }
    Value add_in_place(const Value& x, const runtime::IntConstant& K) noexcept { return add(x, K); }
    Value subtract(const Value& a, const Value& b) noexcept { return arithmetic_.subtract(a, b); }
    Value subtract(const runtime::IntConstant& K, const Value& x) noexcept {
        return arithmetic_.subtract(constant(K), x);
    }
    Value subtract_in_place(const Value& x, const runtime::IntConstant& K) noexcept {
        return arithmetic_.subtract(x, constant(K));
    }
    Value multiply(const Value& a, const Value& b) noexcept { return arithmetic_.multiply(a, b); }
    Value multiply(const runtime::IntConstant& K, const Value& x) noexcept {
        return arithmetic_.multiply(constant(K), x);
    }
    Value multiply_in_place(const Value& a, const Value& b) noexcept { return multiply(a, b); }
    Value divide(const Value& a, const Value& b) noexcept { return arithmetic_.divide(a, b); }
    Value divide(const Value& x, const runtime::IntConstant& K) noexcept {
        return arithmetic_.divide(x, constant(K));
    }
    Value remainder(const Value& x, const runtime::IntConstant& K) noexcept {
        return arithmetic_.remainder(x, K);
    }
    Value negative(const Value& x) noexcept { return arithmetic_.negative(x); }
    Value absolute(const Value& x) noexcept { return arithmetic_.absolute(x); }
    Value square(const Value& x) noexcept { return arithmetic_.square(x); }

    bool greater(const Value& a, const Value& b) noexcept { return arithmetic_.greater(a, b); }
    bool greater(const Value& x, const runtime::IntConstant& K) noexcept {
        return arithmetic_.compare(x, K, Py_GT);
    }
    bool greater_equal(const Value& x, const runtime::IntConstant& K) noexcept {
        return arithmetic_.compare(x, K, Py_GE);
    }
    bool less(const Value& x, const runtime::IntConstant& K) noexcept {
        return arithmetic_.compare(x, K, Py_LT);
    }
    bool less_equal(const Value& x, const runtime::IntConstant& K) noexcept {
        return arithmetic_.compare(x, K, Py_LE);
    }
    bool equal(const Value& x, const runtime::IntConstant& K) noexcept {
        return arithmetic_.compare(x, K, Py_EQ);
    }

    // A series that has not converged by now is left to the object path,
    // which can be interrupted.
    bool loop_pass(long pass) noexcept {
        if (pass > series_limit) {
            arithmetic_.decline();
            return false;
        }
        return true;
    }

    // range(iter) for an exact int; long loops are left to the object path,
    // which can be interrupted.
    Passes range(const Value& iter) noexcept {
        Passes passes;
        if (arithmetic_.pass_count(iter, passes.remaining) && passes.remaining > pass_limit) {
            arithmetic_.decline();
        }
        return passes;
    }
    bool next(Passes& passes) noexcept { return passes.remaining-- > 0; }

    // cosin calls sin twice with one angle, and _tan_rad calls sin and cosin
    // with equal ones; a negative angle and the same angle plus 360 reduce
    // to one value.
    template <typename Series>
    Value series_of(const Value& reduced, Series series) noexcept {
        if (!sine_memo_.filled || !sine_memo_.argument.same(reduced)) {
            sine_memo_ = {true, reduced, series()};
        }
        return sine_memo_.result;
    }

    void unbound_local(const char*) noexcept { arithmetic_.decline(); }

private:
    static constexpr long series_limit = 100;
    static constexpr std::int64_t pass_limit = 100000;

    // The last argument and result of a pure function within this call.
    struct Memo {
        bool filled = false;
        Value argument;
        Value result;
    };

    template <int index>
    Value call_row(const Value* given, int count) noexcept;

    Arithmetic arithmetic_;
    double pi_;
    Memo sine_memo_;
    // arctan's Newton step calls _tan_rad twice with one theta, and theta
    // often ends alternating between two values.
    Memo tan_rad_memo_[2];
    int tan_rad_next_ = 0;
};

using DoublesMachine = Machine<runtime::RealArithmetic<false>>;
using LargeIntMachine = Machine<runtime::RealArithmetic<true>>;

}  // namespace geometry
