// The module's function rows and binding wrappers.  Each wrapper binds its
// arguments and runs the row's body (bodies.h) in machine numbers when the
// operands and bindings allow, and on interpreter objects otherwise.
#include <array>
#include <utility>

#include "bindings.h"
#include "bodies.h"
#include "domains.h"
#include "function_table.h"
#include "runtime/binding.h"
#include "runtime/function.h"
#include "runtime/machine_numbers.h"
#include "runtime/ref.h"

namespace geometry {

namespace {

using runtime::Ref;

template <int index>
PyObject* wrapper(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames) noexcept;

template <int index>
PyObject* run(const Arguments& arguments) noexcept;

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
     wrapper<SIN>, run<SIN>},
    {POOL_COSIN, 45, 1, 1, INT_COUNT, {POOL_ANGLE, POOL_COSINE},
     {{POOL_ANGLE, POOL_INT_OR_FLOAT}}, POOL_LINES_COSIN, CO_OPTIMIZED | CO_NEWLOCALS, false,
     "[Summary]: Return the cosine of an angle given in degrees.\n\n"
     "    [Description]: Normalizes the angle and derives the cosine value from the\n"
     "    sine result while correcting the sign according to the quadrant.\n\n"
     "    [Usage]: Typical usage example:\n\n"
     "        result = cosin(60)\n"
     "        print(result)\n"
     "    ",
     wrapper<COSIN>, run<COSIN>},
    {POOL_TAN, 65, 1, 1, INT_COUNT, {POOL_ANGLE},
     {{POOL_ANGLE, POOL_INT_OR_FLOAT}}, POOL_LINES_TAN, CO_OPTIMIZED | CO_NEWLOCALS, false,
     "[Summary]: Return the tangent of an angle given in degrees.\n\n"
     "    [Description]: Computes tangent as the quotient of the module's sine and\n"
     "    cosine helper functions.\n\n"
     "    [Usage]: Typical usage example:\n\n"
     "        result = tan(45)\n"
     "        print(result)\n"
     "    ",
     wrapper<TAN>, run<TAN>},
    {POOL_TAN_RAD, 78, 1, 1, INT_COUNT, {POOL_RAD},
     {{POOL_RAD, POOL_FLOAT}}, POOL_LINES_TAN_RAD, CO_OPTIMIZED | CO_NEWLOCALS, true,
     nullptr,
     wrapper<TAN_RAD>, run<TAN_RAD>},
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
     wrapper<ARCTAN>, run<ARCTAN>},
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
     wrapper<ARCTAN2>, run<ARCTAN2>},
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
     wrapper<ARCSIN>, run<ARCSIN>},
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
     wrapper<ARCCOS>, run<ARCCOS>},
};
// clang-format on

// The descriptor words of the eight code objects, as published: a wrong
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

// The body of row `index` over domain `d`, on the bound arguments; sin and
// cosin rebind their argument and take it over.
template <int index, typename D>
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

// Runs row `index`'s body: in machine numbers when every argument is an
// exact int or float and the bindings hold, and again on objects from the
// start if the machine path declines.
//
// While a tool observes calls (a profiler), the body runs on objects: the
// machine path enters the module's own functions directly, so a profile
// would charge their time to the outermost call and miss their calls,
// whereas the object path calls them through their call entries, which
// report each call, and gives the same results.  Profiled code runs slower
// anyway; reporting from inside the machine path would instead let a
// callback run code in the middle of a call that assumes no code runs.
template <int index>
PyObject* run(const Arguments& arguments) noexcept {
    constexpr int count = function_rows[index].argument_count;
    if (const MachineBindings* bindings =
            arguments.calls_observed ? nullptr : machine_bindings()) {
        Machine::Value numbers[count];
        bool exact = true;
        if constexpr (!function_rows[index].takes_double) {
            for (int i = 0; i < count && exact; ++i) {
                exact = runtime::to_machine(arguments.values[i], numbers[i]);
            }
        }
        if (exact) {
            Machine machine(*bindings);
            Machine::Value result = body<index>(machine, numbers, arguments.number);
            if (!machine.declined()) {
                if (PyObject* boxed = runtime::from_machine(result, state.float_zero)) {
                    return boxed;
                }
                PyErr_Clear();  // out of memory: the object path reports where
            }
        }
    }
    Ref values[count];
    for (int i = 0; i < count; ++i) {
        values[i] = Ref::borrow(arguments.values[i]);
    }
    Objects objects(static_cast<FunctionIndex>(index));
    return body<index>(objects, values, arguments.number).release();
}

// The binding description of row `index`: its parameters are the pool slots
// of its first locals, and its defaulted parameters take the int constant.
template <int index>
struct Binding {
    static constexpr const FunctionRow& row = function_rows[index];
    // Null-terminated, as the binding routine walks it.
    static constexpr auto names = [] {
        std::array<PyObject* const*, row.argument_count + 1> list{};
        for (int i = 0; i < row.argument_count; ++i) {
            list[i] = &state.pool[row.locals.items[i]];
        }
        return list;
    }();
    static constexpr auto defaults = [] {
        std::array<PyObject* const*, row.argument_count> list{};
        for (int i = row.required_count; i < row.argument_count; ++i) {
            list[i] = &state.ints[row.default_value];
        }
        return list;
    }();
    static constexpr runtime::Signature signature{
        row.name.plain, names.data(),
        row.required_count < row.argument_count ? defaults.data() : nullptr, row.argument_count,
        row.required_count};
};

// Reports a binding failure at the def line of row `index`.
template <int index>
[[gnu::cold]] PyObject* binding_failed() noexcept {
    add_traceback(function_rows[index].name.qualified, function_rows[index].def_line);
    return nullptr;
}

// Binds the call to row `index`'s parameters, converts a double argument,
// and runs the row's body.  The arguments are the caller's, alive for the
// whole call; a call by position alone needs no binding routine.  `self`
// is the function object, the receiver of a function that is no class
// member.
template <int index>
PyObject* wrapper(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames) noexcept {
    using B = Binding<index>;
    constexpr Py_ssize_t count = B::row.argument_count;
    PyObject* values[count];
    Ref slots[count];
    if (kwnames == nullptr && nargs >= B::row.required_count && nargs <= count) {
        for (Py_ssize_t i = 0; i < count; ++i) {
            values[i] = i < nargs ? args[i] : *B::defaults[i];
        }
    } else {
        if (runtime::bind_arguments(B::signature, args, nargs, kwnames, slots) < 0) {
            return binding_failed<index>();
        }
        for (Py_ssize_t i = 0; i < count; ++i) {
            values[i] = slots[i].get();
        }
    }
    Arguments arguments{values, 0.0, runtime::calls_observed(self)};
    if constexpr (B::row.takes_double) {
        PyObject* value = values[0];
        arguments.number =
            PyFloat_CheckExact(value) ? PyFloat_AS_DOUBLE(value) : PyFloat_AsDouble(value);
        if (arguments.number == -1.0 && PyErr_Occurred()) {
            return binding_failed<index>();
        }
    }
    return B::row.body(arguments);
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
