// The two number domains that the bodies of bodies.h are written over.
//
// Objects: interpreter objects.  Every operation is the interpreter's (with
// the exact-int and exact-float fast paths of runtime/numbers.h), every
// module-level name is looked up at its use, every call goes through the
// call-site sequence; a failed statement adds its traceback entry.
//
// Machine: exact ints and floats as machine numbers, under bindings proven
// unchanged for the call (bindings.h).  The module's own functions are
// entered directly, `constants.pi` is a double and `algebra.sqrt` is
// math.sqrt.  Whatever the object path would raise for, the machine path
// declines, and the call is re-run on objects from the start; since the
// machine path runs no code of anyone else's, the re-run cannot be told
// from a first run.
#pragma once

#include <utility>

#include "bindings.h"
#include "bodies.h"
#include "function_table.h"
#include "runtime/lookup.h"
#include "runtime/machine_numbers.h"
#include "runtime/numbers.h"
#include "runtime/ref.h"

namespace geometry {

class Objects {
public:
    using Value = runtime::Ref;
    using Callable = runtime::Ref;

    // The iteration of `range(iter)`; `item` keeps the last item bound to `_`.
    struct Passes {
        runtime::Ref iterator;
        iternextfunc next = nullptr;
        runtime::Ref item;
        long count = 0;
    };

    explicit Objects(FunctionIndex function) noexcept : function_(function) {}

    // True when an operation of the statement failed, after adding the
    // traceback entry of `line`.
    bool failed(int line) noexcept {
        if (!failed_) {
            return false;
        }
        add_traceback(function_rows[function_].name.qualified, line);
        return true;
    }

    Value constant(const runtime::IntConstant& K) noexcept { return Value::borrow(K.object()); }
    Value float_zero() noexcept { return Value::borrow(state.float_zero); }
    Value real(double value) noexcept { return made(failed_ ? nullptr : PyFloat_FromDouble(value)); }

    Value pi() noexcept { return global_attribute(POOL_CONSTANTS, POOL_PI); }
    Callable sqrt() noexcept { return global_attribute(POOL_ALGEBRA, POOL_SQRT); }
    Callable function(Pool name) noexcept {
        return failed_ ? Value()
                       : made(runtime::get_module_global(state.module_dict, state.builtins,
                                                         pool(name)));
    }

    // callable(args...), with a spare slot in front for a bound method's self.
    template <typename... Args>
    Value call(Callable callable, const Args&... args) noexcept {
        if (failed_) {
            return {};
        }
        PyObject* vector[] = {nullptr, args.get()...};
        return made(runtime::call_site(state.function_type, std::move(callable), vector,
                                       sizeof...(Args)));
    }

    Value rem(const Value& x, const runtime::IntConstant& K) noexcept {
        return failed_ ? Value() : made(runtime::num_rem_const(x.get(), K));
    }
    Value isub(const Value& x, const runtime::IntConstant& K) noexcept {
        return failed_ ? Value() : made(runtime::num_isub_const(x.get(), K));
    }
    Value rsub(const runtime::IntConstant& K, const Value& x) noexcept {
        return failed_ ? Value() : made(runtime::num_rsub_const(K, x.get()));
    }
    Value div_const(const Value& x, const runtime::IntConstant& K) noexcept {
        return failed_ ? Value() : made(runtime::num_truediv_const(x.get(), K));
    }
    Value add_const(const Value& x, const runtime::IntConstant& K, bool in_place) noexcept {
        return failed_ ? Value() : made(runtime::num_add_const(x.get(), K, in_place));
    }
    Value radd_const(const runtime::IntConstant& K, const Value& x) noexcept {
        return failed_ ? Value() : made(runtime::num_radd_const(K, x.get()));
    }
    Value rmul_const(const runtime::IntConstant& K, const Value& x) noexcept {
        return failed_ ? Value() : made(runtime::num_rmul_const(K, x.get()));
    }

    Value add(const Value& a, const Value& b, bool in_place = false) noexcept {
        return binary<runtime::BinaryOp::add>(a, b, in_place);
    }
    Value subtract(const Value& a, const Value& b) noexcept {
        return binary<runtime::BinaryOp::subtract>(a, b, false);
    }
    Value multiply(const Value& a, const Value& b, bool in_place = false) noexcept {
        return binary<runtime::BinaryOp::multiply>(a, b, in_place);
    }
    Value divide(const Value& a, const Value& b) noexcept {
        return binary<runtime::BinaryOp::true_divide>(a, b, false);
    }
    Value negative(const Value& x) noexcept {
        return failed_ ? Value() : made(runtime::num_negative(x.get()));
    }
    Value abs(const Value& x) noexcept {
        return failed_ ? Value() : made(runtime::num_abs(x.get()));
    }
    // x ** 2: the three-argument power with no modulus.
    Value square(const Value& x) noexcept {
        return failed_ ? Value() : made(PyNumber_Power(x.get(), k2.object(), Py_None));
    }

    bool ge(const Value& x, const runtime::IntConstant& K) noexcept { return compare(x, K, Py_GE); }
    bool gt(const Value& x, const runtime::IntConstant& K) noexcept { return compare(x, K, Py_GT); }
    bool le(const Value& x, const runtime::IntConstant& K) noexcept { return compare(x, K, Py_LE); }
    bool lt(const Value& x, const runtime::IntConstant& K) noexcept { return compare(x, K, Py_LT); }
    bool eq_const(const Value& x, const runtime::IntConstant& K) noexcept {
        return !failed_ && truth(runtime::num_eq_const(x.get(), K));
    }
    bool greater(const Value& a, const Value& b) noexcept {
        return !failed_ && truth(runtime::num_compare(a.get(), b.get(), Py_GT));
    }

    // Pass `pass` of an unbounded loop: every so many passes, pending
    // signals are handled, so that a KeyboardInterrupt ends the loop.
    bool loop_pass(long pass) noexcept {
        return !failed_ && ((pass & signal_interval) != signal_interval || signals_handled());
    }

    // range(iter), called as the interpreter's range type itself.
    Passes range(const Value& iter) noexcept {
        Passes passes;
        if (failed_) {
            return passes;
        }
        PyObject* arguments[] = {nullptr, iter.get()};
        Value range = made(runtime::call_object(
            state.function_type, reinterpret_cast<PyObject*>(&PyRange_Type), arguments + 1,
            1 | PY_VECTORCALL_ARGUMENTS_OFFSET));
        if (!failed_) {
            passes.iterator = made(PyObject_GetIter(range.get()));
        }
        if (!failed_) {
            passes.next = Py_TYPE(passes.iterator.get())->tp_iternext;
        }
        return passes;
    }

    // Binds the next item; false at the end (StopIteration is not a failure).
    bool next(Passes& passes) noexcept {
        if (failed_ || !loop_pass(passes.count++)) {
            return false;
        }
        PyObject* item = passes.next(passes.iterator.get());
        if (item == nullptr) {
            if (PyObject* raised = PyErr_Occurred()) {
                if (!runtime::exception_matches(raised, PyExc_StopIteration)) {
                    failed_ = true;
                    return false;
                }
                PyErr_Clear();
            }
            return false;
        }
        passes.item = Value::steal(item);
        return true;
    }

    template <typename Series>
    Value series_of(const Value&, Series series) noexcept {
        return series();
    }

    void unbound_local(const char* name) noexcept {
        PyErr_Format(PyExc_UnboundLocalError, "local variable '%s' referenced before assignment",
                     name);
        failed_ = true;
    }

private:
    static constexpr long signal_interval = 1023;

    Value made(PyObject* result) noexcept {
        if (result == nullptr) {
            failed_ = true;
        }
        return Value::steal(result);
    }

    bool truth(int result) noexcept {
        if (result < 0) {
            failed_ = true;
        }
        return result == 1;
    }

    bool signals_handled() noexcept { return truth(PyErr_CheckSignals() == 0 ? 1 : -1); }

    bool compare(const Value& x, const runtime::IntConstant& K, int op) noexcept {
        return !failed_ && truth(runtime::num_compare(x.get(), K.object(), op));
    }

    template <runtime::BinaryOp op>
    Value binary(const Value& a, const Value& b, bool in_place) noexcept {
        return failed_ ? Value() : made(runtime::num_binary<op>(a.get(), b.get(), in_place));
    }

    // The attribute `attribute` of the module-level name `name`.
    Value global_attribute(Pool name, Pool attribute) noexcept {
        Value owner = function(name);
        return failed_ ? Value() : made(runtime::get_attribute(owner.get(), pool(attribute)));
    }

    FunctionIndex function_;
    bool failed_ = false;
};

class Machine {
public:
    using Number = runtime::MachineNumber;
    using Value = Number;
    // What a looked-up name holds: one of the module's functions, or math.sqrt.
    enum class Callable { sin, cosin, tan_rad, arctan, arctan2, arcsin, sqrt, unknown };
    struct Passes {
        std::int64_t remaining = 0;
    };

    explicit Machine(const MachineBindings& bindings) noexcept : pi_(bindings.pi) {}

    bool declined() const noexcept { return arithmetic_.declined; }
    bool failed(int) const noexcept { return arithmetic_.declined; }

    Value constant(const runtime::IntConstant& K) const noexcept { return arithmetic_.constant(K); }
    Value float_zero() const noexcept {
        Value zero = Number::real(0.0);
        zero.shared = true;  // boxed as state.float_zero itself
        return zero;
    }
    Value real(double value) const noexcept { return Number::real(value); }

    Value pi() const noexcept { return Number::real(pi_); }
    Callable sqrt() const noexcept { return Callable::sqrt; }
    Callable function(Pool name) const noexcept {
        switch (name) {
            case POOL_SIN: return Callable::sin;
            case POOL_COSIN: return Callable::cosin;
            case POOL_TAN_RAD: return Callable::tan_rad;
            case POOL_ARCTAN: return Callable::arctan;
            case POOL_ARCTAN2: return Callable::arctan2;
            case POOL_ARCSIN: return Callable::arcsin;
            default: return Callable::unknown;  // a call of it declines
        }
    }

    Value call(Callable f, const Value& x) noexcept;
    Value call(Callable f, const Value& x, const Value& y) noexcept;

    Value rem(const Value& x, const runtime::IntConstant& K) noexcept {
        Value remainder = arithmetic_.rem(x, K);
        // A big int's remainder is an allocation, and a collection may run
        // code that rebinds a name.
        if (x.is_big() && !machine_bindings_hold()) {
            return arithmetic_.decline();
        }
        return remainder;
    }
    Value isub(const Value& x, const runtime::IntConstant& K) noexcept {
        return arithmetic_.subtract(x, constant(K));
    }
    Value rsub(const runtime::IntConstant& K, const Value& x) noexcept {
        return arithmetic_.subtract(constant(K), x);
    }
    Value div_const(const Value& x, const runtime::IntConstant& K) noexcept {
        return arithmetic_.divide(x, constant(K));
    }
    Value add_const(const Value& x, const runtime::IntConstant& K, bool) noexcept {
        return arithmetic_.add(x, constant(K));
    }
    Value radd_const(const runtime::IntConstant& K, const Value& x) noexcept {
        return arithmetic_.add(constant(K), x);
    }
    Value rmul_const(const runtime::IntConstant& K, const Value& x) noexcept {
        return arithmetic_.multiply(constant(K), x);
    }

    Value add(const Value& a, const Value& b, bool = false) noexcept { return arithmetic_.add(a, b); }
    Value subtract(const Value& a, const Value& b) noexcept { return arithmetic_.subtract(a, b); }
    Value multiply(const Value& a, const Value& b, bool = false) noexcept {
        return arithmetic_.multiply(a, b);
    }
    Value divide(const Value& a, const Value& b) noexcept { return arithmetic_.divide(a, b); }
    Value negative(const Value& x) noexcept { return arithmetic_.negative(x); }
    Value abs(const Value& x) noexcept { return arithmetic_.absolute(x); }
    Value square(const Value& x) noexcept { return arithmetic_.square(x); }

    bool ge(const Value& x, const runtime::IntConstant& K) noexcept { return arithmetic_.compare(x, K, Py_GE); }
    bool gt(const Value& x, const runtime::IntConstant& K) noexcept { return arithmetic_.compare(x, K, Py_GT); }
    bool le(const Value& x, const runtime::IntConstant& K) noexcept { return arithmetic_.compare(x, K, Py_LE); }
    bool lt(const Value& x, const runtime::IntConstant& K) noexcept { return arithmetic_.compare(x, K, Py_LT); }
    bool eq_const(const Value& x, const runtime::IntConstant& K) noexcept {
        return arithmetic_.equals(x, K);
    }
    bool greater(const Value& a, const Value& b) noexcept { return arithmetic_.greater(a, b); }

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
        if (!iter.is_integer() || iter.i > pass_limit) {
            arithmetic_.decline();
            return {};
        }
        return {iter.i};
    }
    bool next(Passes& passes) noexcept { return passes.remaining-- > 0; }

    void unbound_local(const char*) noexcept { arithmetic_.decline(); }

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

private:
    static constexpr long series_limit = 100;
    static constexpr std::int64_t pass_limit = 100000;

    // The last argument and result of a pure function within this call.
    struct Memo {
        bool filled = false;
        Number argument;
        Number result;
    };

    Value tan_rad(const Value& x) noexcept;

    runtime::MachineArithmetic arithmetic_;
    double pi_;
    Memo sine_memo_;
    // arctan's Newton step calls _tan_rad twice with one theta, and theta
    // often ends alternating between two values.
    Memo tan_rad_memo_[2];
    int tan_rad_next_ = 0;
};

inline Machine::Value Machine::call(Callable f, const Value& x) noexcept {
    if (declined()) {
        return {};
    }
    switch (f) {
        case Callable::sin:
            return sin_body(*this, x);
        case Callable::cosin:
            return cosin_body(*this, x);
        case Callable::tan_rad:
            for (const Memo& memo : tan_rad_memo_) {
                if (memo.filled && memo.argument.same(x)) {
                    return memo.result;
                }
            }
            tan_rad_memo_[tan_rad_next_] = {true, x, tan_rad(x)};
            tan_rad_next_ ^= 1;
            return tan_rad_memo_[tan_rad_next_ ^ 1].result;
        case Callable::arctan:
            // iter takes its default, as binding gives it.
            return arctan_body(*this, x,
                               constant(int_constant(function_rows[ARCTAN].default_value)));
        case Callable::arcsin:
            return arcsin_body(*this, x);
        case Callable::sqrt:
            return arithmetic_.sqrt(x);
        default:
            return arithmetic_.decline();
    }
}

inline Machine::Value Machine::call(Callable f, const Value& x, const Value& y) noexcept {
    if (declined()) {
        return {};
    }
    switch (f) {
        case Callable::arctan:
            return arctan_body(*this, x, y);
        case Callable::arctan2:
            return arctan2_body(*this, x, y);
        default:
            return arithmetic_.decline();
    }
}

// _tan_rad converts its argument to a double on entry, as its binding does.
inline Machine::Value Machine::tan_rad(const Value& x) noexcept {
    if (x.is_big()) {
        return arithmetic_.decline();
    }
    return tan_rad_body(*this, x.as_double());
}

}  // namespace geometry
