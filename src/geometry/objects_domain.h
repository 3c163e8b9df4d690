// The interpreter-object domain: every operation is the interpreter's (with
// the exact-int and exact-float fast paths of runtime/numbers.h), every
// module-level name is looked up at its use, every call goes through the
// call-site sequence; a failed statement adds its traceback entry.
#pragma once

#include <utility>

#include "domain.h"
#include "function_rows.h"
#include "module_state.h"
#include "runtime/lookup.h"
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
    // A call of a module's function goes through the object its name holds.
    static constexpr bool calls_resolved = false;

    explicit Objects(FunctionIndex function) noexcept : function_(function) {}

    // True when an operation of the statement failed, after adding the
    // traceback entry of `line`.
    bool failed_with_traceback(int line) noexcept {
        if (!failed_) {
            return false;
        }
        add_traceback(function_rows[function_].name.qualified, line);
        return true;
    }

    Value constant(const runtime::IntConstant& K) noexcept { return Value::borrow(K.object()); }
    Value float_zero() noexcept { return Value::borrow(state.float_zero); }
    Value real(double value) noexcept {
        return made(failed_ ? nullptr : PyFloat_FromDouble(value));
    }

    Value pi() noexcept { return global_attribute(POOL_CONSTANTS, POOL_PI); }
    Callable sqrt() noexcept { return global_attribute(POOL_ALGEBRA, POOL_SQRT); }
    template <Pool name>
    Callable function(GlobalName<name>) noexcept {
        return global(name);
    }

    // callable(args...), with a spare slot in front for a bound method's self.
    template <typename... Args>
    Value call(Callable callable, const Args&... args) noexcept {
        if (failed_) {
            return {};
        }
        PyObject* vector[] = {nullptr, args.get()...};
        return made(
            runtime::call_site(state.function_type, std::move(callable), vector, sizeof...(Args)));
    }

    Value add(const Value& a, const Value& b) noexcept {
        return binary<runtime::BinaryOp::add>(a, b, false);
    }
    Value add(const Value& x, const runtime::IntConstant& K) noexcept {
        return failed_ ? Value() : made(runtime::num_add_const(x.get(), K, false));
    }
    Value add(const runtime::IntConstant& K, const Value& x) noexcept {
        return failed_ ? Value() : made(runtime::num_radd_const(K, x.get()));
    }
    Value add_in_place(const Value& a, const Value& b) noexcept {
        return binary<runtime::BinaryOp::add>(a, b, true);
    }
    Value add_in_place(const Value& x, const runtime::IntConstant& K) noexcept {
        return failed_ ? Value() : made(runtime::num_add_const(x.get(), K, true));
    }
    Value subtract(const Value& a, const Value& b) noexcept {
        return binary<runtime::BinaryOp::subtract>(a, b, false);
    }
    Value subtract(const runtime::IntConstant& K, const Value& x) noexcept {
        return failed_ ? Value() : made(runtime::num_rsub_const(K, x.get()));
    }
    Value subtract_in_place(const Value& x, const runtime::IntConstant& K) noexcept {
        return failed_ ? Value() : made(runtime::num_isub_const(x.get(), K));
    }
    Value multiply(const Value& a, const Value& b) noexcept {
        return binary<runtime::BinaryOp::multiply>(a, b, false);
    }
    Value multiply(const runtime::IntConstant& K, const Value& x) noexcept {
        return failed_ ? Value() : made(runtime::num_rmul_const(K, x.get()));
    }
    Value multiply_in_place(const Value& a, const Value& b) noexcept {
        return binary<runtime::BinaryOp::multiply>(a, b, true);
    }
    Value divide(const Value& a, const Value& b) noexcept {
        return binary<runtime::BinaryOp::true_divide>(a, b, false);
    }
    Value divide(const Value& x, const runtime::IntConstant& K) noexcept {
        return failed_ ? Value() : made(runtime::num_truediv_const(x.get(), K));
    }
    Value remainder(const Value& x, const runtime::IntConstant& K) noexcept {
        return failed_ ? Value() : made(runtime::num_rem_const(x.get(), K));
    }
    Value negative(const Value& x) noexcept {
        return failed_ ? Value() : made(runtime::num_negative(x.get()));
    }
    Value absolute(const Value& x) noexcept {
        return failed_ ? Value() : made(runtime::num_abs(x.get()));
    }
    // x ** 2: the three-argument power with no modulus.
    Value square(const Value& x) noexcept {
        return failed_ ? Value() : made(PyNumber_Power(x.get(), k<2>.object(), Py_None));
    }

    bool greater(const Value& a, const Value& b) noexcept {
        return !failed_ && truth(runtime::num_compare(a.get(), b.get(), Py_GT));
    }
    bool greater(const Value& x, const runtime::IntConstant& K) noexcept {
        return compare(x, K, Py_GT);
    }
    bool greater_equal(const Value& x, const runtime::IntConstant& K) noexcept {
        return compare(x, K, Py_GE);
    }
    bool less(const Value& x, const runtime::IntConstant& K) noexcept {
        return compare(x, K, Py_LT);
    }
    bool less_equal(const Value& x, const runtime::IntConstant& K) noexcept {
        return compare(x, K, Py_LE);
    }
    bool equal(const Value& x, const runtime::IntConstant& K) noexcept {
        return !failed_ && truth(runtime::num_eq_const(x.get(), K));
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
        Value range = made(runtime::call_object(state.function_type,
                                                reinterpret_cast<PyObject*>(&PyRange_Type),
                                                arguments + 1, 1 | PY_VECTORCALL_ARGUMENTS_OFFSET));
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

    // The module-level name `name`, looked up now.
    Value global(Pool name) noexcept {
        return failed_ ? Value()
                       : made(runtime::get_module_global(state.module_dict, state.builtins,
                                                         pool(name)));
    }

    // The attribute `attribute` of the module-level name `name`.
    Value global_attribute(Pool name, Pool attribute) noexcept {
        Value owner = global(name);
        return failed_ ? Value() : made(runtime::get_attribute(owner.get(), pool(attribute)));
    }

    FunctionIndex function_;
    bool failed_ = false;
};

static_assert(NumberDomain<Objects>);

}  // namespace geometry
