// The eight module functions: each binding wrapper binds its arguments and
// runs its body, which performs a fixed sequence of interpreter operations.
// The numbers passed to fail() are the source lines reported for failures.
#include <array>
#include <type_traits>
#include <utility>

#include "function_table.h"
#include "runtime/binding.h"
#include "runtime/lookup.h"
#include "runtime/numbers.h"
#include "runtime/ref.h"

namespace geometry {

namespace {

using runtime::Ref;

// Adds the traceback entry of `function` at `line`; the failing body returns null.
PyObject* fail(FunctionIndex function, int line) noexcept {
    add_traceback(function_rows[function].name.qualified, line);
    return nullptr;
}

using runtime::IntConstant;

constexpr IntConstant k0 = int_constant(INT_0);
constexpr IntConstant k_minus_1 = int_constant(INT_MINUS_1);
constexpr IntConstant k1 = int_constant(INT_1);
constexpr IntConstant k2 = int_constant(INT_2);
constexpr IntConstant k_minus_90 = int_constant(INT_MINUS_90);
constexpr IntConstant k90 = int_constant(INT_90);
constexpr IntConstant k_minus_180 = int_constant(INT_MINUS_180);
constexpr IntConstant k180 = int_constant(INT_180);
constexpr IntConstant k270 = int_constant(INT_270);
constexpr IntConstant k360 = int_constant(INT_360);

// The current binding of a module-level name.
Ref global(Pool name) noexcept {
    return Ref::steal(runtime::get_module_global(state.module_dict, state.builtins, pool(name)));
}

// The attribute `name` of a looked-up global (constants.pi, algebra.sqrt).
Ref global_attribute(Pool global_name, Pool attribute) noexcept {
    Ref owner = global(global_name);
    if (!owner) {
        return owner;
    }
    return Ref::steal(runtime::get_attribute(owner.get(), pool(attribute)));
}

// Calls a looked-up callable with positional arguments, leaving a spare
// slot in front of them for a bound method's self.
template <typename... Args>
Ref call(Ref callable, Args... args) noexcept {
    PyObject* vector[] = {nullptr, args...};
    return Ref::steal(runtime::call_site(state.function_type, std::move(callable), vector,
                                         sizeof...(Args)));
}

// Looks `name` up and calls it.
template <typename... Args>
Ref call_global(Pool name, Args... args) noexcept {
    Ref callable = global(name);
    if (!callable) {
        return callable;
    }
    return call(std::move(callable), args...);
}

// Truth of the rich comparison `left op right`: 1, 0 or -1.
int compare(PyObject* left, PyObject* right, int op) noexcept {
    return runtime::num_compare(left, right, op);
}

int compare(PyObject* left, const IntConstant& right, int op) noexcept {
    return runtime::num_compare(left, right.object(), op);
}

// Both comparisons of `a op1 K1 and a op2 K2`, the second only when the first holds.
int compare_both(PyObject* a, const IntConstant& K1, int op1, const IntConstant& K2,
                 int op2) noexcept {
    int truth = compare(a, K1, op1);
    if (truth != 1) {
        return truth;
    }
    return compare(a, K2, op2);
}

Ref steal(PyObject* object) noexcept {
    return Ref::steal(object);
}

using runtime::BinaryOp;

// The interpreter's binary operators, with fast paths for floats and small ints.
PyObject* add(PyObject* a, PyObject* b, bool in_place = false) noexcept {
    return runtime::num_binary<BinaryOp::add>(a, b, in_place);
}
PyObject* subtract(PyObject* a, PyObject* b) noexcept {
    return runtime::num_binary<BinaryOp::subtract>(a, b);
}
PyObject* multiply(PyObject* a, PyObject* b, bool in_place = false) noexcept {
    return runtime::num_binary<BinaryOp::multiply>(a, b, in_place);
}
PyObject* divide(PyObject* a, PyObject* b) noexcept {
    return runtime::num_binary<BinaryOp::true_divide>(a, b);
}

// --- sin -------------------------------------------------------------------


PyObject* sin_body(PyObject* angle_argument) noexcept {
    Ref angle = Ref::borrow(angle_argument);
    if (!(angle = steal(runtime::num_rem_const(angle.get(), k360)))) {
        return fail(SIN, 19);
    }
    int truth = compare(angle.get(), k180, Py_GE);
    if (truth < 0) {
        return fail(SIN, 20);
    }
    if (truth && !(angle = steal(runtime::num_isub_const(angle.get(), k360)))) {
        return fail(SIN, 21);
    }
    Ref sign = Ref::borrow(k1.object());
    if ((truth = compare(angle.get(), k90, Py_GT)) < 0) {
        return fail(SIN, 24);
    }
    if (truth) {
        if (!(angle = steal(runtime::num_rsub_const(k180, angle.get())))) {
            return fail(SIN, 25);
        }
    } else {
        if ((truth = compare(angle.get(), k_minus_90, Py_LT)) < 0) {
            return fail(SIN, 26);
        }
        if (truth &&
            !(angle = steal(runtime::num_rsub_const(k_minus_180, angle.get())))) {
            return fail(SIN, 27);
        }
    }

    Ref pi = global_attribute(POOL_CONSTANTS, POOL_PI);
    if (!pi) {
        return fail(SIN, 30);
    }
    Ref product = steal(multiply(angle.get(), pi.get()));
    if (!product) {
        return fail(SIN, 30);
    }
    Ref x = steal(runtime::num_truediv_const(product.get(), k180));
    if (!x) {
        return fail(SIN, 30);
    }

    Ref term = x;
    const double tol = 1e-15;
    Ref result = Ref::borrow(state.float_zero);
    Ref i = Ref::borrow(k0.object());
    for (;;) {
        Ref magnitude = steal(runtime::num_abs(term.get()));
        if (!magnitude) {
            return fail(SIN, 37);
        }
        Ref tolerance = steal(PyFloat_FromDouble(tol));
        if (!tolerance) {
            return fail(SIN, 37);
        }
        if ((truth = compare(magnitude.get(), tolerance.get(), Py_GT)) < 0) {
            return fail(SIN, 37);
        }
        if (!truth) {
            break;
        }
        if (!(result = steal(add(result.get(), term.get(), true)))) {
            return fail(SIN, 38);
        }
        if (!(i = steal(runtime::num_add_const(i.get(), k1, true)))) {
            return fail(SIN, 39);
        }
        // term *= -x * x / ((2 * i) * (2 * i + 1))
        Ref negated = steal(runtime::num_negative(x.get()));
        if (!negated) {
            return fail(SIN, 40);
        }
        Ref square = steal(multiply(negated.get(), x.get()));
        if (!square) {
            return fail(SIN, 40);
        }
        Ref twice = steal(runtime::num_rmul_const(k2, i.get()));
        if (!twice) {
            return fail(SIN, 40);
        }
        Ref twice_again = steal(runtime::num_rmul_const(k2, i.get()));
        if (!twice_again) {
            return fail(SIN, 40);
        }
        Ref odd = steal(runtime::num_add_const(twice_again.get(), k1, false));
        if (!odd) {
            return fail(SIN, 40);
        }
        Ref denominator = steal(multiply(twice.get(), odd.get()));
        if (!denominator) {
            return fail(SIN, 40);
        }
        Ref factor = steal(divide(square.get(), denominator.get()));
        if (!factor) {
            return fail(SIN, 40);
        }
        if (!(term = steal(multiply(term.get(), factor.get(), true)))) {
            return fail(SIN, 40);
        }
    }
    PyObject* value = multiply(sign.get(), result.get());
    return value ? value : fail(SIN, 42);
}

// --- cosin -----------------------------------------------------------------


// algebra.sqrt(1 - sin(angle) * sin(angle))
Ref cosine_magnitude(PyObject* angle) noexcept {
    Ref sqrt = global_attribute(POOL_ALGEBRA, POOL_SQRT);
    if (!sqrt) {
        return sqrt;
    }
    Ref first = call_global(POOL_SIN, angle);
    if (!first) {
        return first;
    }
    Ref second = call_global(POOL_SIN, angle);
    if (!second) {
        return second;
    }
    Ref square = steal(multiply(first.get(), second.get()));
    if (!square) {
        return square;
    }
    Ref difference = steal(runtime::num_rsub_const(k1, square.get()));
    if (!difference) {
        return difference;
    }
    return call(std::move(sqrt), difference.get());
}

PyObject* cosin_body(PyObject* angle_argument) noexcept {
    Ref angle = steal(runtime::num_rem_const(angle_argument, k360));
    if (!angle) {
        return fail(COSIN, 56);
    }
    // (angle >= 0 and angle < 90) or (angle >= 270 and angle <= 360)
    int truth = compare_both(angle.get(), k0, Py_GE, k90, Py_LT);
    if (truth == 0) {
        truth = compare_both(angle.get(), k270, Py_GE, k360, Py_LE);
    }
    if (truth < 0) {
        return fail(COSIN, 58);
    }
    if (truth) {
        Ref cosine = cosine_magnitude(angle.get());
        return cosine ? cosine.release() : fail(COSIN, 59);
    }
    // (angle >= 90 and angle < 180) or (angle >= 180 and angle < 270)
    truth = compare_both(angle.get(), k90, Py_GE, k180, Py_LT);
    if (truth == 0) {
        truth = compare_both(angle.get(), k180, Py_GE, k270, Py_LT);
    }
    if (truth < 0) {
        return fail(COSIN, 60);
    }
    if (truth) {
        Ref root = cosine_magnitude(angle.get());
        if (!root) {
            return fail(COSIN, 61);
        }
        PyObject* cosine = runtime::num_rmul_const(k_minus_1, root.get());
        return cosine ? cosine : fail(COSIN, 61);
    }
    // No quadrant held (a NaN angle): `cosine` was never assigned.
    PyErr_Format(PyExc_UnboundLocalError, "local variable '%s' referenced before assignment",
                 "cosine");
    return fail(COSIN, 62);
}

// --- tan, _tan_rad ---------------------------------------------------------


PyObject* tan_body(PyObject* angle) noexcept {
    Ref sine = call_global(POOL_SIN, angle);
    if (!sine) {
        return fail(TAN, 76);
    }
    Ref cosine = call_global(POOL_COSIN, angle);
    if (!cosine) {
        return fail(TAN, 76);
    }
    PyObject* quotient = divide(sine.get(), cosine.get());
    return quotient ? quotient : fail(TAN, 76);
}

// float(degrees) / constants.pi, with a fresh float and a fresh read of pi.
Ref degrees_over_pi(double degrees) noexcept {
    Ref value = steal(PyFloat_FromDouble(degrees));
    if (!value) {
        return value;
    }
    Ref pi = global_attribute(POOL_CONSTANTS, POOL_PI);
    if (!pi) {
        return pi;
    }
    return steal(divide(value.get(), pi.get()));
}

PyObject* tan_rad_body(double rad) noexcept {
    Ref sin = global(POOL_SIN);
    if (!sin) {
        return fail(TAN_RAD, 82);
    }
    const double degrees = rad * 180.0;
    Ref angle = degrees_over_pi(degrees);
    if (!angle) {
        return fail(TAN_RAD, 82);
    }
    Ref sine = call(std::move(sin), angle.get());
    if (!sine) {
        return fail(TAN_RAD, 82);
    }
    Ref cosin = global(POOL_COSIN);
    if (!cosin) {
        return fail(TAN_RAD, 82);
    }
    Ref angle_again = degrees_over_pi(degrees);
    if (!angle_again) {
        return fail(TAN_RAD, 82);
    }
    Ref cosine = call(std::move(cosin), angle_again.get());
    if (!cosine) {
        return fail(TAN_RAD, 82);
    }
    PyObject* quotient = divide(sine.get(), cosine.get());
    return quotient ? quotient : fail(TAN_RAD, 82);
}

// --- arctan ----------------------------------------------------------------


// half_pi - arctan(1 / x, iter), where half_pi is pi/2 or (-pi)/2.
PyObject* arctan_fold(PyObject* x, PyObject* iter, bool negative, int line) noexcept {
    Ref pi = global_attribute(POOL_CONSTANTS, POOL_PI);
    if (!pi) {
        return fail(ARCTAN, line);
    }
    if (negative && !(pi = steal(runtime::num_negative(pi.get())))) {
        return fail(ARCTAN, line);
    }
    Ref half_pi = steal(runtime::num_truediv_const(pi.get(), k2));
    if (!half_pi) {
        return fail(ARCTAN, line);
    }
    Ref arctan = global(POOL_ARCTAN);
    if (!arctan) {
        return fail(ARCTAN, line);
    }
    Ref inverse = steal(divide(k1.object(), x));
    if (!inverse) {
        return fail(ARCTAN, line);
    }
    Ref folded = call(std::move(arctan), inverse.get(), iter);
    if (!folded) {
        return fail(ARCTAN, line);
    }
    PyObject* difference = subtract(half_pi.get(), folded.get());
    return difference ? difference : fail(ARCTAN, line);
}

PyObject* arctan_body(PyObject* x, PyObject* iter) noexcept {
    int truth = compare(x, k1, Py_GT);
    if (truth < 0) {
        return fail(ARCTAN, 97);
    }
    if (truth) {
        return arctan_fold(x, iter, false, 98);
    }
    if ((truth = compare(x, k_minus_1, Py_LT)) < 0) {
        return fail(ARCTAN, 99);
    }
    if (truth) {
        return arctan_fold(x, iter, true, 100);
    }

    Ref theta = Ref::borrow(state.float_zero);
    PyObject* range_arguments[] = {nullptr, iter};
    Ref range = steal(runtime::call_object(
        state.function_type, reinterpret_cast<PyObject*>(&PyRange_Type), range_arguments + 1,
        1 | PY_VECTORCALL_ARGUMENTS_OFFSET));
    if (!range) {
        return fail(ARCTAN, 103);
    }
    Ref iterator = steal(PyObject_GetIter(range.get()));
    if (!iterator) {
        return fail(ARCTAN, 103);
    }
    iternextfunc next = Py_TYPE(iterator.get())->tp_iternext;
    Ref underscore;
    for (;;) {
        Ref item = steal(next(iterator.get()));
        if (!item) {
            if (PyObject* raised = PyErr_Occurred()) {
                if (!runtime::exception_matches(raised, PyExc_StopIteration)) {
                    return fail(ARCTAN, 103);
                }
                PyErr_Clear();
            }
            break;
        }
        underscore = std::move(item);
        // theta = theta - (_tan_rad(theta) - x) / (1 + _tan_rad(theta) ** 2)
        Ref t1 = call_global(POOL_TAN_RAD, theta.get());
        if (!t1) {
            return fail(ARCTAN, 108);
        }
        Ref residual = steal(subtract(t1.get(), x));
        if (!residual) {
            return fail(ARCTAN, 108);
        }
        Ref t2 = call_global(POOL_TAN_RAD, theta.get());
        if (!t2) {
            return fail(ARCTAN, 108);
        }
        Ref square = steal(PyNumber_Power(t2.get(), k2.object(), Py_None));
        if (!square) {
            return fail(ARCTAN, 108);
        }
        Ref slope = steal(runtime::num_radd_const(k1, square.get()));
        if (!slope) {
            return fail(ARCTAN, 108);
        }
        Ref step = steal(divide(residual.get(), slope.get()));
        if (!step) {
            return fail(ARCTAN, 108);
        }
        if (!(theta = steal(subtract(theta.get(), step.get())))) {
            return fail(ARCTAN, 108);
        }
    }
    return theta.release();
}

// --- arctan2 ---------------------------------------------------------------


// arctan(y / x), the lookup of arctan coming before the division.
Ref arctan_of_quotient(PyObject* x, PyObject* y) noexcept {
    Ref arctan = global(POOL_ARCTAN);
    if (!arctan) {
        return arctan;
    }
    Ref quotient = steal(divide(y, x));
    if (!quotient) {
        return quotient;
    }
    return call(std::move(arctan), quotient.get());
}

// Truth of `x x_op 0 and y y_op 0`, y compared only when the first holds.
int x_and_y(PyObject* x, int x_op, PyObject* y, int y_op) noexcept {
    int truth = compare(x, k0, x_op);
    return truth == 1 ? compare(y, k0, y_op) : truth;
}

// Truth of `x == 0 and y op 0`.
int zero_and(PyObject* x, PyObject* y, int op) noexcept {
    int truth = runtime::num_eq_const(x, k0);
    return truth == 1 ? compare(y, k0, op) : truth;
}

// arctan(y / x) + pi or arctan(y / x) - pi
template <BinaryOp op>
PyObject* arctan_shifted_by_pi(PyObject* x, PyObject* y, int line) noexcept {
    Ref angle = arctan_of_quotient(x, y);
    if (!angle) {
        return fail(ARCTAN2, line);
    }
    Ref pi = global_attribute(POOL_CONSTANTS, POOL_PI);
    if (!pi) {
        return fail(ARCTAN2, line);
    }
    PyObject* shifted = runtime::num_binary<op>(angle.get(), pi.get());
    return shifted ? shifted : fail(ARCTAN2, line);
}

// pi / 2 or (-pi) / 2
PyObject* half_pi(bool negative, int line) noexcept {
    Ref pi = global_attribute(POOL_CONSTANTS, POOL_PI);
    if (!pi) {
        return fail(ARCTAN2, line);
    }
    if (negative && !(pi = steal(runtime::num_negative(pi.get())))) {
        return fail(ARCTAN2, line);
    }
    PyObject* half = runtime::num_truediv_const(pi.get(), k2);
    return half ? half : fail(ARCTAN2, line);
}

PyObject* arctan2_body(PyObject* x, PyObject* y) noexcept {
    int truth = compare(x, k0, Py_GT);
    if (truth < 0) {
        return fail(ARCTAN2, 126);
    }
    if (truth) {
        Ref angle = arctan_of_quotient(x, y);
        return angle ? angle.release() : fail(ARCTAN2, 127);
    }
    if ((truth = x_and_y(x, Py_LT, y, Py_GE)) < 0) {
        return fail(ARCTAN2, 128);
    }
    if (truth) {
        return arctan_shifted_by_pi<BinaryOp::add>(x, y, 129);
    }
    // x is compared with 0 afresh.
    if ((truth = x_and_y(x, Py_LT, y, Py_LT)) < 0) {
        return fail(ARCTAN2, 130);
    }
    if (truth) {
        return arctan_shifted_by_pi<BinaryOp::subtract>(x, y, 131);
    }
    if ((truth = zero_and(x, y, Py_GT)) < 0) {
        return fail(ARCTAN2, 132);
    }
    if (truth) {
        return half_pi(false, 133);
    }
    if ((truth = zero_and(x, y, Py_LT)) < 0) {
        return fail(ARCTAN2, 134);
    }
    if (truth) {
        return half_pi(true, 135);
    }
    return Py_NewRef(state.float_zero);
}

// --- arcsin, arccos --------------------------------------------------------


PyObject* arcsin_body(PyObject* x) noexcept {
    // arctan2(x, algebra.sqrt(1 - x ** 2))
    Ref arctan2 = global(POOL_ARCTAN2);
    if (!arctan2) {
        return fail(ARCSIN, 151);
    }
    Ref sqrt = global_attribute(POOL_ALGEBRA, POOL_SQRT);
    if (!sqrt) {
        return fail(ARCSIN, 151);
    }
    Ref square = steal(PyNumber_Power(x, k2.object(), Py_None));
    if (!square) {
        return fail(ARCSIN, 151);
    }
    Ref difference = steal(runtime::num_rsub_const(k1, square.get()));
    if (!difference) {
        return fail(ARCSIN, 151);
    }
    Ref root = call(std::move(sqrt), difference.get());
    if (!root) {
        return fail(ARCSIN, 151);
    }
    Ref result = call(std::move(arctan2), x, root.get());
    return result ? result.release() : fail(ARCSIN, 151);
}

PyObject* arccos_body(PyObject* x) noexcept {
    // pi / 2 - arcsin(x)
    Ref pi = global_attribute(POOL_CONSTANTS, POOL_PI);
    if (!pi) {
        return fail(ARCCOS, 167);
    }
    Ref half = steal(runtime::num_truediv_const(pi.get(), k2));
    if (!half) {
        return fail(ARCCOS, 167);
    }
    Ref sine_angle = call_global(POOL_ARCSIN, x);
    if (!sine_angle) {
        return fail(ARCCOS, 167);
    }
    PyObject* result = subtract(half.get(), sine_angle.get());
    return result ? result : fail(ARCCOS, 167);
}

// --- binding wrappers ------------------------------------------------------

// The bound arguments of a call: the parameter values, and for a function
// that takes a double, the converted value.
struct Arguments {
    PyObject* const* values;
    double number;
};

// Calls `body` with the arguments its signature takes.
template <auto body>
PyObject* run_body(const Arguments& arguments) noexcept {
    if constexpr (std::is_invocable_v<decltype(body), double>) {
        return body(arguments.number);
    } else if constexpr (std::is_invocable_v<decltype(body), PyObject*, PyObject*>) {
        return body(arguments.values[0], arguments.values[1]);
    } else {
        return body(arguments.values[0]);
    }
}

template <int index>
PyObject* wrapper(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;

}  // namespace

// clang-format off
constexpr FunctionRow function_rows[function_count] = {
    {POOL_SIN, 6, 1, 1, INT_COUNT,
     {POOL_ANGLE, POOL_SIGN, POOL_X, POOL_TERM, POOL_TOL, POOL_RESULT, POOL_I},
     {{POOL_ANGLE, POOL_INT_OR_FLOAT}}, POOL_LINES_SIN, CO_OPTIMIZED | CO_NEWLOCALS, false,
     "[Summary]: Return the sine of an angle given in degrees.\n\n"
     "    [Description]: Normalizes the angle, converts it to radians, and evaluates a\n"
     "    Taylor series approximation until the current term becomes sufficiently\n"
     "    small.\n\n"
     "    [Usage]: Typical usage example:\n\n"
     "        result = sin(30)\n"
     "        print(result)\n"
     "    ",
     wrapper<SIN>},
    {POOL_COSIN, 45, 1, 1, INT_COUNT, {POOL_ANGLE, POOL_COSINE},
     {{POOL_ANGLE, POOL_INT_OR_FLOAT}}, POOL_LINES_COSIN, CO_OPTIMIZED | CO_NEWLOCALS, false,
     "[Summary]: Return the cosine of an angle given in degrees.\n\n"
     "    [Description]: Normalizes the angle and derives the cosine value from the\n"
     "    sine result while correcting the sign according to the quadrant.\n\n"
     "    [Usage]: Typical usage example:\n\n"
     "        result = cosin(60)\n"
     "        print(result)\n"
     "    ",
     wrapper<COSIN>},
    {POOL_TAN, 65, 1, 1, INT_COUNT, {POOL_ANGLE},
     {{POOL_ANGLE, POOL_INT_OR_FLOAT}}, POOL_LINES_TAN, CO_OPTIMIZED | CO_NEWLOCALS, false,
     "[Summary]: Return the tangent of an angle given in degrees.\n\n"
     "    [Description]: Computes tangent as the quotient of the module's sine and\n"
     "    cosine helper functions.\n\n"
     "    [Usage]: Typical usage example:\n\n"
     "        result = tan(45)\n"
     "        print(result)\n"
     "    ",
     wrapper<TAN>},
    {POOL_TAN_RAD, 78, 1, 1, INT_COUNT, {POOL_RAD},
     {{POOL_RAD, POOL_FLOAT}}, POOL_LINES_TAN_RAD, CO_OPTIMIZED | CO_NEWLOCALS, true,
     nullptr,
     wrapper<TAN_RAD>},
    {POOL_ARCTAN, 84, 2, 1, INT_20, {POOL_X, POOL_ITER, POOL_THETA, POOL_UNDERSCORE},
     {{POOL_X, POOL_FLOAT_OR_INT}}, POOL_LINES_ARCTAN, CO_OPTIMIZED | CO_NEWLOCALS, false,
     "\n    [Summary]: Tests and explanation for the arctan() function.\n\n"
     "    [Description]:\n"
     "    This file contains notes and explanations for the custom `arctan()` function,\n"
     "    which computes the inverse tangent (arctangent) of a number or ratio. \n"
     "    The function returns the angle (in radians) whose tangent is the given input.\n"
     "    [Usage]:\n"
     "    - Call arctan(x) with a single float input to get the angle in radians.\n"
     "    - Can be used to convert a tangent ratio (opposite/adjacent) to an angle in triangles.\n"
     "    - Can be extended to degrees by multiplying result by 180/\u03c0.\n"
     "    ",
     wrapper<ARCTAN>},
    {POOL_ARCTAN2, 112, 2, 2, INT_COUNT, {POOL_X, POOL_Y},
     {{POOL_X, POOL_FLOAT_OR_INT}, {POOL_Y, POOL_FLOAT_OR_INT}, {POOL_RETURN, POOL_FLOAT}},
     POOL_LINES_ARCTAN2, CO_OPTIMIZED | CO_NEWLOCALS, false,
     "[Summary]: Return the angle in radians between the positive x-axis and the\n"
     "    point (x, y), computed as a two-argument arctangent.\n\n"
     "    [Description]: Unlike arctan(y/x), arctan2 takes both the sign of y and x\n"
     "    into account to determine the correct quadrant of the resulting angle.\n"
     "    The return value is in the range (-\u03c0, \u03c0].\n\n"
     "    [Usage]: Typical usage example:\n\n"
     "        result = arctan2(1, 1)   # returns \u03c0/4 (first quadrant)\n"
     "        result = arctan2(1, -1)  # returns 3\u03c0/4 (second quadrant)\n"
     "        print(result)\n"
     "    ",
     wrapper<ARCTAN2>},
    {POOL_ARCSIN, 139, 1, 1, INT_COUNT, {POOL_X, POOL_RESULT},
     {{POOL_X, POOL_FLOAT_OR_INT}, {POOL_RETURN, POOL_FLOAT}}, POOL_LINES_ARCSIN,
     CO_OPTIMIZED | CO_NEWLOCALS, false,
     "[Summary]: Return the arcsine of x in radians.\n\n"
     "    [Description]: Computes the inverse sine by delegating to arctan2 with\n"
     "    x and sqrt(1 - x\u00b2) as arguments, exploiting the identity\n"
     "    arcsin(x) = arctan2(x, sqrt(1 - x\u00b2)). Input must satisfy -1 <= x <= 1.\n\n"
     "    [Usage]: Typical usage example:\n\n"
     "        result = arcsin(0.5)\n"
     "        print(result)  # ~0.5236 (\u03c0/6)\n"
     "    ",
     wrapper<ARCSIN>},
    {POOL_ARCCOS, 155, 1, 1, INT_COUNT, {POOL_X, POOL_RESULT},
     {{POOL_X, POOL_FLOAT_OR_INT}, {POOL_RETURN, POOL_FLOAT}}, POOL_LINES_ARCCOS,
     CO_OPTIMIZED | CO_NEWLOCALS, false,
     "[Summary]: Return the arccosine of x in radians.\n\n"
     "    [Description]: Derives the inverse cosine from arcsin using the\n"
     "    complementary-angle identity arccos(x) = \u03c0/2 - arcsin(x).\n"
     "    Input must satisfy -1 <= x <= 1; the result lies in [0, \u03c0].\n\n"
     "    [Usage]: Typical usage example:\n\n"
     "        result = arccos(0.5)\n"
     "        print(result)  # ~1.0472 (\u03c0/3)\n"
     "    ",
     wrapper<ARCCOS>},
};
// clang-format on

// The descriptor words that the code objects were specified with: a wrong
// field in a row fails the build here.
static_assert(code_descriptor(function_rows[SIN]) == 786929);
static_assert(code_descriptor(function_rows[COSIN]) == 5898657);
static_assert(code_descriptor(function_rows[TAN]) == 8520081);
static_assert(code_descriptor(function_rows[TAN_RAD]) == 10224017);
static_assert(code_descriptor(function_rows[ARCTAN]) == 11010498);
static_assert(code_descriptor(function_rows[ARCTAN2]) == 14680482);
static_assert(code_descriptor(function_rows[ARCSIN]) == 18219425);
static_assert(code_descriptor(function_rows[ARCCOS]) == 20316577);

namespace {

// The bodies, in row order.
using Body = PyObject* (*)(const Arguments&) noexcept;
constexpr Body bodies[function_count] = {
    run_body<sin_body>,    run_body<cosin_body>,   run_body<tan_body>,    run_body<tan_rad_body>,
    run_body<arctan_body>, run_body<arctan2_body>, run_body<arcsin_body>, run_body<arccos_body>,
};

// The binding description of row `index`: its parameters are the pool slots
// of its first locals, and its defaulted parameters take the int constant.
template <int index>
struct Binding {
    static constexpr const FunctionRow& row = function_rows[index];
    static constexpr auto names = [] {
        std::array<PyObject* const*, 4> list{};
        for (int i = 0; i < row.argument_count; ++i) {
            list[i] = &state.pool[row.locals.items[i]];
        }
        return list;
    }();
    static constexpr auto defaults = [] {
        std::array<PyObject* const*, 3> list{};
        for (int i = row.required_count; i < row.argument_count; ++i) {
            list[i] = &state.ints[row.default_value];
        }
        return list;
    }();
    static constexpr runtime::Signature signature{
        row.name.plain, names.data(), row.required_count < row.argument_count ? defaults.data() : nullptr,
        row.argument_count, row.required_count};
};

// Binds the call to row `index`'s parameters, converts a double argument,
// and runs the body.
template <int index>
PyObject* wrapper(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    using B = Binding<index>;
    constexpr Py_ssize_t count = B::row.argument_count;
    Ref slots[count];
    if (runtime::bind_arguments(B::signature, args, nargs, kwnames, slots) < 0) {
        return fail(static_cast<FunctionIndex>(index), B::row.def_line);
    }
    PyObject* values[count];
    for (Py_ssize_t i = 0; i < count; ++i) {
        values[i] = slots[i].get();
    }
    Arguments arguments{values, 0.0};
    if constexpr (B::row.takes_double) {
        PyObject* value = values[0];
        arguments.number = PyFloat_CheckExact(value) ? PyFloat_AS_DOUBLE(value) : PyFloat_AsDouble(value);
        if (arguments.number == -1.0 && PyErr_Occurred()) {
            return fail(static_cast<FunctionIndex>(index), B::row.def_line);
        }
    }
    return bodies[index](arguments);
}

template <typename Indices>
struct MethodTable;

// Constant data made from the rows: no code runs to build it.
template <std::size_t... index>
struct MethodTable<std::index_sequence<index...>> {
    static constexpr int flags = METH_FASTCALL | METH_KEYWORDS;
    static inline PyMethodDef definitions[] = {
        {function_rows[index].name.plain,
         reinterpret_cast<PyCFunction>(
             reinterpret_cast<void (*)(void)>(function_rows[index].wrapper)),
         flags, function_rows[index].doc}...,
    };
};

}  // namespace

PyMethodDef* const function_defs =
    MethodTable<std::make_index_sequence<function_count>>::definitions;

}  // namespace geometry
