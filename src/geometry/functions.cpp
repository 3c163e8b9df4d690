// The eight module functions: each binding wrapper binds its arguments and
// runs its body, which performs a fixed sequence of interpreter operations.
// The numbers passed to fail() are the source lines reported for failures.
#include "geometry/functions.h"

#include <utility>

#include "runtime/binding.h"
#include "runtime/lookup.h"
#include "runtime/numbers.h"
#include "runtime/ref.h"

namespace geometry {

namespace {

using runtime::Ref;

PyObject* fail(const char* function_name, int line) noexcept {
    add_traceback(function_name, line);
    return nullptr;
}

PyObject* K(IntConstant index) noexcept {
    return int_constant(index);
}

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

// Both comparisons of `a op1 k1 and a op2 k2`, the second only when the first holds.
int compare_both(PyObject* a, IntConstant k1, int op1, IntConstant k2, int op2) noexcept {
    int truth = compare(a, K(k1), op1);
    if (truth != 1) {
        return truth;
    }
    return compare(a, K(k2), op2);
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

constexpr const char sin_name[] = "geometry.trigonometry.sin";

PyObject* sin_body(PyObject* angle_argument) noexcept {
    Ref angle = Ref::borrow(angle_argument);
    if (!(angle = steal(runtime::num_rem_const<360>(angle.get(), K(INT_360))))) {
        return fail(sin_name, 19);
    }
    int truth = compare(angle.get(), K(INT_180), Py_GE);
    if (truth < 0) {
        return fail(sin_name, 20);
    }
    if (truth && !(angle = steal(runtime::num_isub_const(angle.get(), K(INT_360), 360)))) {
        return fail(sin_name, 21);
    }
    Ref sign = Ref::borrow(K(INT_1));
    if ((truth = compare(angle.get(), K(INT_90), Py_GT)) < 0) {
        return fail(sin_name, 24);
    }
    if (truth) {
        if (!(angle = steal(runtime::num_rsub_const(K(INT_180), angle.get(), 180)))) {
            return fail(sin_name, 25);
        }
    } else {
        if ((truth = compare(angle.get(), K(INT_MINUS_90), Py_LT)) < 0) {
            return fail(sin_name, 26);
        }
        if (truth &&
            !(angle = steal(runtime::num_rsub_const(K(INT_MINUS_180), angle.get(), -180)))) {
            return fail(sin_name, 27);
        }
    }

    Ref pi = global_attribute(POOL_CONSTANTS, POOL_PI);
    if (!pi) {
        return fail(sin_name, 30);
    }
    Ref product = steal(multiply(angle.get(), pi.get()));
    if (!product) {
        return fail(sin_name, 30);
    }
    Ref x = steal(runtime::num_truediv_const(product.get(), K(INT_180), 180));
    if (!x) {
        return fail(sin_name, 30);
    }

    Ref term = x;
    const double tol = 1e-15;
    Ref result = Ref::borrow(state.float_zero);
    Ref i = Ref::borrow(K(INT_0));
    for (unsigned passes = 1;; ++passes) {
        // A series that never converges (a pi of 1e300) still stops on
        // Ctrl-C.  A real series ends long before the first check.
        if (passes % 1024 == 0 && PyErr_CheckSignals() < 0) {
            return fail(sin_name, 37);
        }
        Ref magnitude = steal(runtime::num_abs(term.get()));
        if (!magnitude) {
            return fail(sin_name, 37);
        }
        Ref tolerance = steal(PyFloat_FromDouble(tol));
        if (!tolerance) {
            return fail(sin_name, 37);
        }
        if ((truth = compare(magnitude.get(), tolerance.get(), Py_GT)) < 0) {
            return fail(sin_name, 37);
        }
        if (!truth) {
            break;
        }
        if (!(result = steal(add(result.get(), term.get(), true)))) {
            return fail(sin_name, 38);
        }
        if (!(i = steal(runtime::num_add_const(i.get(), K(INT_1), true)))) {
            return fail(sin_name, 39);
        }
        // term *= -x * x / ((2 * i) * (2 * i + 1))
        Ref negated = steal(runtime::num_negative(x.get()));
        if (!negated) {
            return fail(sin_name, 40);
        }
        Ref square = steal(multiply(negated.get(), x.get()));
        if (!square) {
            return fail(sin_name, 40);
        }
        Ref twice = steal(runtime::num_rmul_const(K(INT_2), i.get(), 2));
        if (!twice) {
            return fail(sin_name, 40);
        }
        Ref twice_again = steal(runtime::num_rmul_const(K(INT_2), i.get(), 2));
        if (!twice_again) {
            return fail(sin_name, 40);
        }
        Ref odd = steal(runtime::num_add_const(twice_again.get(), K(INT_1), false));
        if (!odd) {
            return fail(sin_name, 40);
        }
        Ref denominator = steal(multiply(twice.get(), odd.get()));
        if (!denominator) {
            return fail(sin_name, 40);
        }
        Ref factor = steal(divide(square.get(), denominator.get()));
        if (!factor) {
            return fail(sin_name, 40);
        }
        if (!(term = steal(multiply(term.get(), factor.get(), true)))) {
            return fail(sin_name, 40);
        }
    }
    PyObject* value = multiply(sign.get(), result.get());
    return value ? value : fail(sin_name, 42);
}

// --- cosin -----------------------------------------------------------------

constexpr const char cosin_name[] = "geometry.trigonometry.cosin";

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
    Ref difference = steal(runtime::num_rsub_const(K(INT_1), square.get(), 1));
    if (!difference) {
        return difference;
    }
    return call(std::move(sqrt), difference.get());
}

PyObject* cosin_body(PyObject* angle_argument) noexcept {
    Ref angle = steal(runtime::num_rem_const<360>(angle_argument, K(INT_360)));
    if (!angle) {
        return fail(cosin_name, 56);
    }
    // (angle >= 0 and angle < 90) or (angle >= 270 and angle <= 360)
    int truth = compare_both(angle.get(), INT_0, Py_GE, INT_90, Py_LT);
    if (truth == 0) {
        truth = compare_both(angle.get(), INT_270, Py_GE, INT_360, Py_LE);
    }
    if (truth < 0) {
        return fail(cosin_name, 58);
    }
    if (truth) {
        Ref cosine = cosine_magnitude(angle.get());
        return cosine ? cosine.release() : fail(cosin_name, 59);
    }
    // (angle >= 90 and angle < 180) or (angle >= 180 and angle < 270)
    truth = compare_both(angle.get(), INT_90, Py_GE, INT_180, Py_LT);
    if (truth == 0) {
        truth = compare_both(angle.get(), INT_180, Py_GE, INT_270, Py_LT);
    }
    if (truth < 0) {
        return fail(cosin_name, 60);
    }
    if (truth) {
        Ref root = cosine_magnitude(angle.get());
        if (!root) {
            return fail(cosin_name, 61);
        }
        PyObject* cosine = runtime::num_rmul_const(K(INT_MINUS_1), root.get(), -1);
        return cosine ? cosine : fail(cosin_name, 61);
    }
    // No quadrant held (a NaN angle): `cosine` was never assigned.
    PyErr_Format(PyExc_UnboundLocalError, "local variable '%s' referenced before assignment",
                 "cosine");
    return fail(cosin_name, 62);
}

// --- tan, _tan_rad ---------------------------------------------------------

constexpr const char tan_name[] = "geometry.trigonometry.tan";
constexpr const char tan_rad_name[] = "geometry.trigonometry._tan_rad";

PyObject* tan_body(PyObject* angle) noexcept {
    Ref sine = call_global(POOL_SIN, angle);
    if (!sine) {
        return fail(tan_name, 76);
    }
    Ref cosine = call_global(POOL_COSIN, angle);
    if (!cosine) {
        return fail(tan_name, 76);
    }
    PyObject* quotient = divide(sine.get(), cosine.get());
    return quotient ? quotient : fail(tan_name, 76);
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
        return fail(tan_rad_name, 82);
    }
    const double degrees = rad * 180.0;
    Ref angle = degrees_over_pi(degrees);
    if (!angle) {
        return fail(tan_rad_name, 82);
    }
    Ref sine = call(std::move(sin), angle.get());
    if (!sine) {
        return fail(tan_rad_name, 82);
    }
    Ref cosin = global(POOL_COSIN);
    if (!cosin) {
        return fail(tan_rad_name, 82);
    }
    Ref angle_again = degrees_over_pi(degrees);
    if (!angle_again) {
        return fail(tan_rad_name, 82);
    }
    Ref cosine = call(std::move(cosin), angle_again.get());
    if (!cosine) {
        return fail(tan_rad_name, 82);
    }
    PyObject* quotient = divide(sine.get(), cosine.get());
    return quotient ? quotient : fail(tan_rad_name, 82);
}

// --- arctan ----------------------------------------------------------------

constexpr const char arctan_name[] = "geometry.trigonometry.arctan";

// half_pi - arctan(1 / x, iter), where half_pi is pi/2 or (-pi)/2.
PyObject* arctan_fold(PyObject* x, PyObject* iter, bool negative, int line) noexcept {
    Ref pi = global_attribute(POOL_CONSTANTS, POOL_PI);
    if (!pi) {
        return fail(arctan_name, line);
    }
    if (negative && !(pi = steal(runtime::num_negative(pi.get())))) {
        return fail(arctan_name, line);
    }
    Ref half_pi = steal(runtime::num_truediv_const(pi.get(), K(INT_2), 2));
    if (!half_pi) {
        return fail(arctan_name, line);
    }
    Ref arctan = global(POOL_ARCTAN);
    if (!arctan) {
        return fail(arctan_name, line);
    }
    Ref inverse = steal(divide(K(INT_1), x));
    if (!inverse) {
        return fail(arctan_name, line);
    }
    Ref folded = call(std::move(arctan), inverse.get(), iter);
    if (!folded) {
        return fail(arctan_name, line);
    }
    PyObject* difference = subtract(half_pi.get(), folded.get());
    return difference ? difference : fail(arctan_name, line);
}

PyObject* arctan_body(PyObject* x, PyObject* iter) noexcept {
    int truth = compare(x, K(INT_1), Py_GT);
    if (truth < 0) {
        return fail(arctan_name, 97);
    }
    if (truth) {
        return arctan_fold(x, iter, false, 98);
    }
    if ((truth = compare(x, K(INT_MINUS_1), Py_LT)) < 0) {
        return fail(arctan_name, 99);
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
        return fail(arctan_name, 103);
    }
    Ref iterator = steal(PyObject_GetIter(range.get()));
    if (!iterator) {
        return fail(arctan_name, 103);
    }
    iternextfunc next = Py_TYPE(iterator.get())->tp_iternext;
    Ref underscore;
    for (;;) {
        // iter can be any size; each pass can take Ctrl-C.
        if (PyErr_CheckSignals() < 0) {
            return fail(arctan_name, 103);
        }
        Ref item = steal(next(iterator.get()));
        if (!item) {
            if (PyObject* raised = PyErr_Occurred()) {
                if (!runtime::exception_matches(raised, PyExc_StopIteration)) {
                    return fail(arctan_name, 103);
                }
                PyErr_Clear();
            }
            break;
        }
        underscore = std::move(item);
        // theta = theta - (_tan_rad(theta) - x) / (1 + _tan_rad(theta) ** 2)
        Ref t1 = call_global(POOL_TAN_RAD, theta.get());
        if (!t1) {
            return fail(arctan_name, 108);
        }
        Ref residual = steal(subtract(t1.get(), x));
        if (!residual) {
            return fail(arctan_name, 108);
        }
        Ref t2 = call_global(POOL_TAN_RAD, theta.get());
        if (!t2) {
            return fail(arctan_name, 108);
        }
        Ref square = steal(PyNumber_Power(t2.get(), K(INT_2), Py_None));
        if (!square) {
            return fail(arctan_name, 108);
        }
        Ref slope = steal(runtime::num_radd_const(K(INT_1), square.get()));
        if (!slope) {
            return fail(arctan_name, 108);
        }
        Ref step = steal(divide(residual.get(), slope.get()));
        if (!step) {
            return fail(arctan_name, 108);
        }
        if (!(theta = steal(subtract(theta.get(), step.get())))) {
            return fail(arctan_name, 108);
        }
    }
    return theta.release();
}

// --- arctan2 ---------------------------------------------------------------

constexpr const char arctan2_name[] = "geometry.trigonometry.arctan2";

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
    int truth = compare(x, K(INT_0), x_op);
    return truth == 1 ? compare(y, K(INT_0), y_op) : truth;
}

// Truth of `x == 0 and y op 0`.
int zero_and(PyObject* x, PyObject* y, int op) noexcept {
    int truth = runtime::num_eq_const(x, K(INT_0));
    return truth == 1 ? compare(y, K(INT_0), op) : truth;
}

// arctan(y / x) + pi or arctan(y / x) - pi
template <BinaryOp op>
PyObject* arctan_shifted_by_pi(PyObject* x, PyObject* y, int line) noexcept {
    Ref angle = arctan_of_quotient(x, y);
    if (!angle) {
        return fail(arctan2_name, line);
    }
    Ref pi = global_attribute(POOL_CONSTANTS, POOL_PI);
    if (!pi) {
        return fail(arctan2_name, line);
    }
    PyObject* shifted = runtime::num_binary<op>(angle.get(), pi.get());
    return shifted ? shifted : fail(arctan2_name, line);
}

// pi / 2 or (-pi) / 2
PyObject* half_pi(bool negative, int line) noexcept {
    Ref pi = global_attribute(POOL_CONSTANTS, POOL_PI);
    if (!pi) {
        return fail(arctan2_name, line);
    }
    if (negative && !(pi = steal(runtime::num_negative(pi.get())))) {
        return fail(arctan2_name, line);
    }
    PyObject* half = runtime::num_truediv_const(pi.get(), K(INT_2), 2);
    return half ? half : fail(arctan2_name, line);
}

PyObject* arctan2_body(PyObject* x, PyObject* y) noexcept {
    int truth = compare(x, K(INT_0), Py_GT);
    if (truth < 0) {
        return fail(arctan2_name, 126);
    }
    if (truth) {
        Ref angle = arctan_of_quotient(x, y);
        return angle ? angle.release() : fail(arctan2_name, 127);
    }
    if ((truth = x_and_y(x, Py_LT, y, Py_GE)) < 0) {
        return fail(arctan2_name, 128);
    }
    if (truth) {
        return arctan_shifted_by_pi<BinaryOp::add>(x, y, 129);
    }
    // x is compared with 0 afresh.
    if ((truth = x_and_y(x, Py_LT, y, Py_LT)) < 0) {
        return fail(arctan2_name, 130);
    }
    if (truth) {
        return arctan_shifted_by_pi<BinaryOp::subtract>(x, y, 131);
    }
    if ((truth = zero_and(x, y, Py_GT)) < 0) {
        return fail(arctan2_name, 132);
    }
    if (truth) {
        return half_pi(false, 133);
    }
    if ((truth = zero_and(x, y, Py_LT)) < 0) {
        return fail(arctan2_name, 134);
    }
    if (truth) {
        return half_pi(true, 135);
    }
    return Py_NewRef(state.float_zero);
}

// --- arcsin, arccos --------------------------------------------------------

constexpr const char arcsin_name[] = "geometry.trigonometry.arcsin";
constexpr const char arccos_name[] = "geometry.trigonometry.arccos";

PyObject* arcsin_body(PyObject* x) noexcept {
    // arctan2(x, algebra.sqrt(1 - x ** 2))
    Ref arctan2 = global(POOL_ARCTAN2);
    if (!arctan2) {
        return fail(arcsin_name, 151);
    }
    Ref sqrt = global_attribute(POOL_ALGEBRA, POOL_SQRT);
    if (!sqrt) {
        return fail(arcsin_name, 151);
    }
    Ref square = steal(PyNumber_Power(x, K(INT_2), Py_None));
    if (!square) {
        return fail(arcsin_name, 151);
    }
    Ref difference = steal(runtime::num_rsub_const(K(INT_1), square.get(), 1));
    if (!difference) {
        return fail(arcsin_name, 151);
    }
    Ref root = call(std::move(sqrt), difference.get());
    if (!root) {
        return fail(arcsin_name, 151);
    }
    Ref result = call(std::move(arctan2), x, root.get());
    return result ? result.release() : fail(arcsin_name, 151);
}

PyObject* arccos_body(PyObject* x) noexcept {
    // pi / 2 - arcsin(x)
    Ref pi = global_attribute(POOL_CONSTANTS, POOL_PI);
    if (!pi) {
        return fail(arccos_name, 167);
    }
    Ref half = steal(runtime::num_truediv_const(pi.get(), K(INT_2), 2));
    if (!half) {
        return fail(arccos_name, 167);
    }
    Ref sine_angle = call_global(POOL_ARCSIN, x);
    if (!sine_angle) {
        return fail(arccos_name, 167);
    }
    PyObject* result = subtract(half.get(), sine_angle.get());
    return result ? result : fail(arccos_name, 167);
}

// --- binding wrappers ------------------------------------------------------

// Parameter name lists refer to the pool slots, filled at start-up.
constexpr PyObject* const* angle_names[] = {&state.pool[POOL_ANGLE], nullptr};
constexpr PyObject* const* rad_names[] = {&state.pool[POOL_RAD], nullptr};
constexpr PyObject* const* x_names[] = {&state.pool[POOL_X], nullptr};
constexpr PyObject* const* x_iter_names[] = {&state.pool[POOL_X], &state.pool[POOL_ITER], nullptr};
constexpr PyObject* const* x_y_names[] = {&state.pool[POOL_X], &state.pool[POOL_Y], nullptr};
constexpr PyObject* const* arctan_defaults[] = {nullptr, &state.ints[INT_20]};

struct Function {
    runtime::Signature signature;
    const char* full_name;
    int def_line;
};

constexpr Function sin_function{{"sin", angle_names, nullptr, 1, 1}, sin_name, 6};
constexpr Function cosin_function{{"cosin", angle_names, nullptr, 1, 1}, cosin_name, 45};
constexpr Function tan_function{{"tan", angle_names, nullptr, 1, 1}, tan_name, 65};
constexpr Function tan_rad_function{{"_tan_rad", rad_names, nullptr, 1, 1}, tan_rad_name, 78};
constexpr Function arctan_function{
    {"arctan", x_iter_names, arctan_defaults, 2, 1}, arctan_name, 84};
constexpr Function arctan2_function{{"arctan2", x_y_names, nullptr, 2, 2}, arctan2_name, 112};
constexpr Function arcsin_function{{"arcsin", x_names, nullptr, 1, 1}, arcsin_name, 139};
constexpr Function arccos_function{{"arccos", x_names, nullptr, 1, 1}, arccos_name, 155};

// Binds the call to `function`'s parameters and runs `body` on them.
template <const Function& function, auto body>
PyObject* wrapper(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    constexpr Py_ssize_t count = function.signature.parameter_count;
    Ref slots[count];
    if (runtime::bind_arguments(function.signature, args, nargs, kwnames, slots) < 0) {
        return fail(function.full_name, function.def_line);
    }
    if constexpr (count == 1) {
        return body(slots[0].get());
    } else {
        return body(slots[0].get(), slots[1].get());
    }
}

// _tan_rad works on its argument converted to a double.
PyObject* tan_rad_wrapper(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) noexcept {
    Ref slot[1];
    if (runtime::bind_arguments(tan_rad_function.signature, args, nargs, kwnames, slot) < 0) {
        return fail(tan_rad_name, 78);
    }
    PyObject* rad = slot[0].get();
    double value = PyFloat_CheckExact(rad) ? PyFloat_AS_DOUBLE(rad) : PyFloat_AsDouble(rad);
    if (value == -1.0 && PyErr_Occurred()) {
        return fail(tan_rad_name, 78);
    }
    return tan_rad_body(value);
}

template <const Function& function, auto body>
PyMethodDef definition(const char* doc) {
    return {function.signature.name,
            reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(
                wrapper<function, body>)),
            METH_FASTCALL | METH_KEYWORDS, doc};
}

}  // namespace

PyMethodDef function_defs[function_count] = {
    definition<sin_function, sin_body>(
        "[Summary]: Return the sine of an angle given in degrees.\n\n"
        "    [Description]: Normalizes the angle, converts it to radians, and evaluates a\n"
        "    Taylor series approximation until the current term becomes sufficiently\n"
        "    small.\n\n"
        "    [Usage]: Typical usage example:\n\n"
        "        result = sin(30)\n"
        "        print(result)\n"
        "    "),
    definition<cosin_function, cosin_body>(
        "[Summary]: Return the cosine of an angle given in degrees.\n\n"
        "    [Description]: Normalizes the angle and derives the cosine value from the\n"
        "    sine result while correcting the sign according to the quadrant.\n\n"
        "    [Usage]: Typical usage example:\n\n"
        "        result = cosin(60)\n"
        "        print(result)\n"
        "    "),
    definition<tan_function, tan_body>(
        "[Summary]: Return the tangent of an angle given in degrees.\n\n"
        "    [Description]: Computes tangent as the quotient of the module's sine and\n"
        "    cosine helper functions.\n\n"
        "    [Usage]: Typical usage example:\n\n"
        "        result = tan(45)\n"
        "        print(result)\n"
        "    "),
    {"_tan_rad",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(tan_rad_wrapper)),
     METH_FASTCALL | METH_KEYWORDS, nullptr},
    definition<arctan_function, arctan_body>(
        "\n    [Summary]: Tests and explanation for the arctan() function.\n\n"
        "    [Description]:\n"
        "    This file contains notes and explanations for the custom `arctan()` function,\n"
        "    which computes the inverse tangent (arctangent) of a number or ratio. \n"
        "    The function returns the angle (in radians) whose tangent is the given input.\n"
        "    [Usage]:\n"
        "    - Call arctan(x) with a single float input to get the angle in radians.\n"
        "    - Can be used to convert a tangent ratio (opposite/adjacent) to an angle in triangles.\n"
        "    - Can be extended to degrees by multiplying result by 180/\u03c0.\n"
        "    "),
    definition<arctan2_function, arctan2_body>(
        "[Summary]: Return the angle in radians between the positive x-axis and the\n"
        "    point (x, y), computed as a two-argument arctangent.\n\n"
        "    [Description]: Unlike arctan(y/x), arctan2 takes both the sign of y and x\n"
        "    into account to determine the correct quadrant of the resulting angle.\n"
        "    The return value is in the range (-\u03c0, \u03c0].\n\n"
        "    [Usage]: Typical usage example:\n\n"
        "        result = arctan2(1, 1)   # returns \u03c0/4 (first quadrant)\n"
        "        result = arctan2(1, -1)  # returns 3\u03c0/4 (second quadrant)\n"
        "        print(result)\n"
        "    "),
    definition<arcsin_function, arcsin_body>(
        "[Summary]: Return the arcsine of x in radians.\n\n"
        "    [Description]: Computes the inverse sine by delegating to arctan2 with\n"
        "    x and sqrt(1 - x\u00b2) as arguments, exploiting the identity\n"
        "    arcsin(x) = arctan2(x, sqrt(1 - x\u00b2)). Input must satisfy -1 <= x <= 1.\n\n"
        "    [Usage]: Typical usage example:\n\n"
        "        result = arcsin(0.5)\n"
        "        print(result)  # ~0.5236 (\u03c0/6)\n"
        "    "),
    definition<arccos_function, arccos_body>(
        "[Summary]: Return the arccosine of x in radians.\n\n"
        "    [Description]: Derives the inverse cosine from arcsin using the\n"
        "    complementary-angle identity arccos(x) = \u03c0/2 - arcsin(x).\n"
        "    Input must satisfy -1 <= x <= 1; the result lies in [0, \u03c0].\n\n"
        "    [Usage]: Typical usage example:\n\n"
        "        result = arccos(0.5)\n"
        "        print(result)  # ~1.0472 (\u03c0/3)\n"
        "    "),
};

}  // namespace geometry
