// The binding wrappers of the module's functions and their method table.
// Each wrapper binds its arguments and runs its row's body (bodies.h) in
// machine numbers when the operands and the watched names allow, and on
// interpreter objects otherwise.
#include <array>
#include <utility>

#include "bodies.h"
#include "function_rows.h"
#include "machine_calls.h"
#include "objects_domain.h"
#include "runtime/argument_binding.h"
#include "runtime/function.h"
#include "runtime/real_arithmetic.h"
#include "runtime/ref.h"
#include "watched_names.h"

namespace geometry {

namespace {

using runtime::Ref;

// The bound arguments of a call: the parameter values, and for a function
// that takes a double, the converted value; and whether a sys.monitoring
// tool observes the calls that this call makes.
struct Arguments {
    PyObject* const* values;
    double number;
    bool calls_observed;
};

// How the arguments of a call read as machine numbers: not at all (an
// argument that is no exact float or int), as doubles (exact floats and
// compact ints), or only with the exports of their other ints.
enum class Reading { objects, doubles, exports };

template <int index>
[[gnu::always_inline]] inline Reading read_arguments(const Arguments& arguments,
                                                     runtime::RealNumber* numbers) noexcept {
    constexpr const FunctionRow& row = function_rows[index];
    Reading reading = Reading::doubles;
    if constexpr (!row.takes_double) {
        for (int i = 0; i < row.argument_count; ++i) {
            switch (runtime::to_real(arguments.values[i], numbers[i])) {
                case runtime::Read::number: break;
                case runtime::Read::needs_export: reading = Reading::exports; break;
                case runtime::Read::not_number: return Reading::objects;
            }
        }
    }
    return reading;
}

// Row `index`'s body in the machine domain `M` on the arguments read as
// `numbers`, with the exports of their ints that are not compact: a new
// reference to the boxed result, or null (no exception set) if the body
// declined.  Compiled as one function, with the calls of the module's
// functions that it makes inlined, so that its values stay in registers.
template <int index, typename M>
[[gnu::flatten]] PyObject* run_machine(const Arguments& arguments, const WatchedNames& names,
                                       runtime::RealNumber* numbers,
                                       const PyLongExport* exports) noexcept {
    M machine(names, exports);
    typename M::Value value = body<index>(machine, numbers, arguments.number);
    if (machine.declined()) {
        return nullptr;
    }
    PyObject* result = runtime::from_machine(value, state.float_zero, arguments.values);
    if (result == nullptr) {
        PyErr_Clear();  // out of memory: the object path reports where
    }
    return result;
}

// The machine path of a call of row `index` with an int that is not
// compact: the arguments read again, with the ints' exports.  A call with a
// large int runs here, in the domain that tests for one, and gives its
// result, or null if it declined; for one whose ints all convert to doubles
// exactly, `in_doubles` is set and `numbers` read, and the caller runs it.
// Out of line, so that the exports are off the stack when a call runs on
// objects, which may recurse.
template <int index>
[[gnu::noinline]] PyObject* run_exported(const Arguments& arguments, const WatchedNames& names,
                                         runtime::RealNumber* numbers, bool& in_doubles) noexcept {
    constexpr int count = function_rows[index].argument_count;
    runtime::IntExports<count> exports;
    bool large = false;
    for (int i = 0; i < count; ++i) {
        if (!runtime::to_real(arguments.values[i], i, numbers[i], exports)) {
            return nullptr;
        }
        large = large || numbers[i].argument >= 0;
    }
    if (!large) {
        in_doubles = true;
        return nullptr;
    }
    return run_machine<index, LargeIntMachine>(arguments, names, numbers, exports.views());
}

// Whether row `index`'s machine path runs arctan's Newton steps.
constexpr bool runs_newton_steps(int index) noexcept {
    return index == ARCTAN || index == ARCTAN2 || index == ARCSIN || index == ARCCOS;
}

// Row `index`'s body in doubles, out of line: for a row that runs Newton
// steps, whose machine state is large and would otherwise stay on the stack
// while a call runs on objects, which may recurse, and whose run is long
// beside the cost of a call.
template <int index>
[[gnu::noinline]] PyObject* run_in_doubles_out_of_line(const Arguments& arguments,
                                                       const WatchedNames& names,
                                                       runtime::RealNumber* numbers) noexcept {
    return run_machine<index, DoublesMachine>(arguments, names, numbers, nullptr);
}

// Runs row `index`'s body: on machine numbers when the watched names hold
// and every argument is an exact float or int, and on objects from the
// start if not or if the machine path declines.
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
    if (const WatchedNames* names = arguments.calls_observed ? nullptr : watched_names()) {
        runtime::RealNumber numbers[count];
        Reading reading = read_arguments<index>(arguments, numbers);
        if constexpr (!function_rows[index].takes_double) {
            if (reading == Reading::exports) {
                bool in_doubles = false;
                if (PyObject* result =
                        run_exported<index>(arguments, *names, numbers, in_doubles)) {
                    return result;
                }
                reading = in_doubles ? Reading::doubles : Reading::objects;
            }
        }
        if (reading == Reading::doubles) {
            PyObject* result;
            if constexpr (runs_newton_steps(index)) {
                result = run_in_doubles_out_of_line<index>(arguments, *names, numbers);
            } else {
                result = run_machine<index, DoublesMachine>(arguments, *names, numbers, nullptr);
            }
            if (result != nullptr) {
                return result;
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
            list[i] = int_constant(row.default_value).slot;
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
    return run<index>(arguments);
}

template <typename Indices>
struct MethodTable;

// Constant data made from the rows: no code runs to build it.
template <std::size_t... index>
struct MethodTable<std::index_sequence<index...>> {
    static constexpr int flags = METH_FASTCALL | METH_KEYWORDS;
    static inline PyMethodDef definitions[] = {
        {function_rows[index].name.plain,
         reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(wrapper<index>)), flags,
         function_rows[index].doc}...,
    };
};

}  // namespace

PyMethodDef* const function_defs =
    MethodTable<std::make_index_sequence<function_count>>::definitions;

}  // namespace geometry
