// Test-only module: the arithmetic floor of geometry.trigonometry.  Each of
// the eight functions is computed again on plain doubles and 64-bit ints, in
// the operation order of the Python source, reusing within one call what the
// module reuses (a sine series of an equal reduced angle, _tan_rad of one of
// the last two arguments) and nothing more.  bench/bench.py sets a call of
// the module against it.  Nothing here comes from the module's sources, so
// that the floor cannot share a mistake with what it is the floor of.
//
//   evaluate(name, *args) -> float      one call's result
//   time(name, *args, n=...) -> float   nanoseconds per call over n calls,
//                                       timed here, without the interpreter
//
// The arguments are exact ints and floats.  An int of sin, cosin, tan or
// _tan_rad may take up to 128 bits (only its remainder by 360 or its
// conversion to a double is computed); the other functions take 64-bit ints.
// A call for which the module raises raises ArithmeticError here; a call the
// kernel does not compute (a true division of ints beyond 2**53, which the
// interpreter rounds from the exact quotient) raises ValueError.
#include <Python.h>

#include <bit>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace {

using Int = std::int64_t;
using Wide = __int128;

constexpr double pi = 3.141592653589793;  // math.pi
constexpr Int default_passes = 20;        // arctan's iter
// Ints that convert to a double exactly: the interpreter divides two of them
// as doubles, and anything larger from the exact quotient.
constexpr Int exact_limit = Int{1} << 53;

enum class Fault : unsigned char {
    none,
    zero_division,  // a float divided by a zero
    unassigned,     // cosin of an angle that no quadrant test admits
    sqrt_domain,    // math.sqrt of a negative number
    pow_overflow,   // x ** 2 beyond the largest double
    beyond_kernel,  // a true division of ints that the kernel does not round
};

// One top-level call: what it may reuse, and whether it failed.  A new one
// for every call, as the module starts every call afresh.
struct Call {
    Fault fault = Fault::none;
    // The series of the last reduced angle; an int and a float angle differ.
    bool sine_filled = false;
    bool sine_integer = false;
    std::uint64_t sine_key = 0;
    double sine_value = 0.0;
    // _tan_rad of the last two arguments, the older replaced first.
    struct TanRad {
        bool filled = false;
        std::uint64_t key = 0;
        double value = 0.0;
    } tan_rad[2];
    int tan_rad_next = 0;

    double fail(Fault why) noexcept {
        fault = why;
        return 0.0;
    }
};

// --- the interpreter's operations on machine numbers ----------------------

// x % 360, the floor remainder.
Int rem360(Int angle) noexcept {
    Int r = angle % 360;
    return r < 0 ? r + 360 : r;
}
Int rem360(Wide angle) noexcept {
    Wide r = angle % 360;
    return static_cast<Int>(r < 0 ? r + 360 : r);
}
// The float remainder: fmod, moved onto the divisor's side, a zero made
// positive.  fmod is exact, and below the divisor it is the dividend itself.
double rem360(double angle) noexcept {
    double mod = std::fabs(angle) < 360.0 ? angle : std::fmod(angle, 360.0);
    if (mod != 0.0) {
        if (mod < 0.0) {
            mod += 360.0;
        }
    } else {
        mod = 0.0;
    }
    return mod;
}

double to_double(double x) noexcept { return x; }
double to_double(Int x) noexcept { return static_cast<double>(x); }
// Rounded to nearest, ties to even, as the interpreter converts a long int.
double to_double(Wide x) noexcept { return static_cast<double>(x); }

// a / b.  Two ints are divided as doubles only while both convert exactly.
double true_divide(Call& call, Int a, Int b) noexcept {
    if (a < -exact_limit || a > exact_limit || b < -exact_limit || b > exact_limit) {
        return call.fail(Fault::beyond_kernel);
    }
    return b == 0 ? call.fail(Fault::zero_division)
                  : static_cast<double>(a) / static_cast<double>(b);
}
template <typename A, typename B>
double true_divide(Call& call, A a, B b) noexcept {
    const double divisor = to_double(b);
    return divisor == 0.0 ? call.fail(Fault::zero_division) : to_double(a) / divisor;
}

// x ** 2.  An int squares exactly (beyond 64 bits the square is only ever
// subtracted from 1 and handed to math.sqrt, which refuses it).
Int square(Call& call, Int x) noexcept {
    Int result;
    return __builtin_mul_overflow(x, x, &result) ? (call.fail(Fault::sqrt_domain), 0) : result;
}
// A float goes through the interpreter's special cases, then the C
// library's pow, which is not always x * x in the last bit.
double square(Call& call, double x) noexcept {
    if (std::isnan(x)) {
        return x;
    }
    if (std::isinf(x)) {
        return std::fabs(x);
    }
    if (x == 0.0) {
        return 0.0;
    }
    x = std::fabs(x);  // an even power
    if (x == 1.0) {
        return 1.0;
    }
    double two = 2.0;
    asm("" : "+x"(two));  // keeps the compiler from making pow(x, 2.0) x * x
    errno = 0;
    const double result = std::pow(x, two);
    if (errno == 0 ? std::isinf(result) : errno != ERANGE || result != 0.0) {
        return call.fail(Fault::pow_overflow);
    }
    return result;
}

// math.sqrt: an int is converted first.
template <typename T>
double math_sqrt(Call& call, T x) noexcept {
    const double v = to_double(x);
    return v < 0.0 ? call.fail(Fault::sqrt_domain) : std::sqrt(v);
}

// --- the functions ---------------------------------------------------------

// sin from line 30 on: the Maclaurin series of the reduced angle in radians,
// summed while a term exceeds 1e-15.  `angle` is an int or a float.
template <typename A>
double sine_series(A angle) noexcept {
    const double x = (angle * pi) / 180;
    double term = x;
    const double tol = 1e-15;
    double result = 0.0;
    Int i = 0;
    while (std::fabs(term) > tol) {
        result += term;
        i += 1;
        term *= -x * x / ((2 * i) * (2 * i + 1));
    }
    const Int sign = 1;
    return sign * result;
}

template <typename A>
double series_of(Call& call, A reduced) noexcept {
    constexpr bool integer = std::is_same_v<A, Int>;
    const auto key = std::bit_cast<std::uint64_t>(reduced);
    if (!call.sine_filled || call.sine_integer != integer || call.sine_key != key) {
        call.sine_filled = true;
        call.sine_integer = integer;
        call.sine_key = key;
        call.sine_value = sine_series(reduced);
    }
    return call.sine_value;
}

template <typename T>
double sine(Call& call, T argument) noexcept {
    auto angle = rem360(argument);
    if (angle >= 180) {
        angle -= 360;
    }
    if (angle > 90) {
        angle = 180 - angle;
    } else if (angle < -90) {
        angle = -180 - angle;
    }
    return series_of(call, angle);
}

// algebra.sqrt(1 - sin(angle) * sin(angle)), sin called twice.
template <typename A>
double cosine_root(Call& call, A angle) noexcept {
    const double first = sine(call, angle);
    const double second = sine(call, angle);
    return math_sqrt(call, 1 - first * second);
}

template <typename T>
double cosin(Call& call, T argument) noexcept {
    const auto angle = rem360(argument);
    if ((angle >= 0 && angle < 90) || (angle >= 270 && angle <= 360)) {
        return cosine_root(call, angle);
    }
    if ((angle >= 90 && angle < 180) || (angle >= 180 && angle < 270)) {
        const Int minus_one = -1;
        return minus_one * cosine_root(call, angle);
    }
    return call.fail(Fault::unassigned);
}

template <typename T>
double tangent(Call& call, T angle) noexcept {
    const double sine_value = sine(call, angle);
    return true_divide(call, sine_value, cosin(call, angle));
}

double tan_rad(Call& call, double rad) noexcept {
    const double degrees = rad * 180.0;
    const double sine_value = sine(call, degrees / pi);
    const double cosine_value = cosin(call, degrees / pi);
    return true_divide(call, sine_value, cosine_value);
}

// _tan_rad as arctan calls it: its Newton step asks twice for one theta.
double tan_rad_of(Call& call, double theta) noexcept {
    const auto key = std::bit_cast<std::uint64_t>(theta);
    for (const Call::TanRad& memo : call.tan_rad) {
        if (memo.filled && memo.key == key) {
            return memo.value;
        }
    }
    Call::TanRad& slot = call.tan_rad[call.tan_rad_next];
    slot = {true, key, tan_rad(call, theta)};
    call.tan_rad_next ^= 1;
    return slot.value;
}

template <typename X>
double arctan(Call& call, X x, Int iter) noexcept {
    if (x > 1) {
        const double half_pi = pi / 2;
        return half_pi - arctan(call, true_divide(call, Int{1}, x), iter);
    }
    if (x < -1) {
        const double half_pi = -pi / 2;
        return half_pi - arctan(call, true_divide(call, Int{1}, x), iter);
    }
    double theta = 0.0;
    for (Int pass = 0; pass < iter; ++pass) {
        const double residual = tan_rad_of(call, theta) - x;
        const double t2 = tan_rad_of(call, theta);
        theta = theta - residual / (1 + square(call, t2));
    }
    return theta;
}

template <typename X, typename Y>
double arctan2(Call& call, X x, Y y) noexcept {
    if (x > 0) {
        return arctan(call, true_divide(call, y, x), default_passes);
    }
    if (x < 0 && y >= 0) {
        return arctan(call, true_divide(call, y, x), default_passes) + pi;
    }
    if (x < 0 && y < 0) {
        return arctan(call, true_divide(call, y, x), default_passes) - pi;
    }
    if (x == 0 && y > 0) {
        return pi / 2;
    }
    if (x == 0 && y < 0) {
        return -pi / 2;
    }
    return 0.0;
}

template <typename X>
double arcsin(Call& call, X x) noexcept {
    const auto x_squared = square(call, x);
    return arctan2(call, x, math_sqrt(call, 1 - x_squared));
}

template <typename X>
double arccos(Call& call, X x) noexcept {
    const double half_pi = pi / 2;
    return half_pi - arcsin(call, x);
}

// --- calls from Python -----------------------------------------------------

enum class Name { sin, cosin, tan, tan_rad, arctan, arctan2, arcsin, arccos };

struct Row {
    const char* name;
    Name function;
    int least, most;  // argument counts
    bool wide;        // takes ints of up to 128 bits
};

constexpr Row rows[] = {
    {"sin", Name::sin, 1, 1, true},        {"cosin", Name::cosin, 1, 1, true},
    {"tan", Name::tan, 1, 1, true},        {"_tan_rad", Name::tan_rad, 1, 1, true},
    {"arctan", Name::arctan, 1, 2, false}, {"arctan2", Name::arctan2, 2, 2, false},
    {"arcsin", Name::arcsin, 1, 1, false}, {"arccos", Name::arccos, 1, 1, false},
};

struct Operand {
    enum class Kind { integer, wide, real } kind = Kind::integer;
    Int i = 0;
    Wide w = 0;
    double d = 0.0;
};

struct Request {
    const Row* row = nullptr;
    Operand operands[2];
    int count = 0;
};

// An int beyond 64 bits as its high and low words; false (no error set)
// when it needs more than 128 bits.
bool read_wide(PyObject* value, Wide& out) noexcept {
    PyObject* shift = PyLong_FromLong(64);
    PyObject* high = shift ? PyNumber_Rshift(value, shift) : nullptr;
    Py_XDECREF(shift);
    if (high == nullptr) {
        return false;
    }
    int overflow = 0;
    long long top = PyLong_AsLongLongAndOverflow(high, &overflow);
    Py_DECREF(high);
    if (overflow != 0 || (top == -1 && PyErr_Occurred())) {
        return false;
    }
    PyObject* mask = PyLong_FromUnsignedLongLong(~0ULL);
    PyObject* low = mask ? PyNumber_And(value, mask) : nullptr;
    Py_XDECREF(mask);
    if (low == nullptr) {
        return false;
    }
    unsigned long long bottom = PyLong_AsUnsignedLongLong(low);
    Py_DECREF(low);
    if (bottom == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        return false;
    }
    out = static_cast<Wide>(top) * (Wide{1} << 64) + static_cast<Wide>(bottom);
    return true;
}

bool read_operand(PyObject* value, bool wide, Operand& out) noexcept {
    if (PyFloat_CheckExact(value)) {
        out.kind = Operand::Kind::real;
        out.d = PyFloat_AS_DOUBLE(value);
        return true;
    }
    if (!PyLong_CheckExact(value)) {
        PyErr_Format(PyExc_TypeError, "the floor kernel takes exact ints and floats, not %.100s",
                     Py_TYPE(value)->tp_name);
        return false;
    }
    int overflow = 0;
    long long small = PyLong_AsLongLongAndOverflow(value, &overflow);
    if (small == -1 && PyErr_Occurred()) {
        return false;
    }
    if (overflow == 0) {
        out.kind = Operand::Kind::integer;
        out.i = small;
        return true;
    }
    if (wide && read_wide(value, out.w)) {
        out.kind = Operand::Kind::wide;
        return true;
    }
    if (!PyErr_Occurred()) {
        PyErr_Format(PyExc_ValueError, "the floor kernel takes ints of at most %d bits here",
                     wide ? 128 : 64);
    }
    return false;
}

bool parse(PyObject* const* args, Py_ssize_t nargs, Request& request) noexcept {
    if (nargs < 1 || !PyUnicode_Check(args[0])) {
        PyErr_SetString(PyExc_TypeError, "the first argument is a function name");
        return false;
    }
    const char* name = PyUnicode_AsUTF8(args[0]);
    if (name == nullptr) {
        return false;
    }
    for (const Row& row : rows) {
        if (std::strcmp(row.name, name) == 0) {
            request.row = &row;
        }
    }
    if (request.row == nullptr) {
        PyErr_Format(PyExc_ValueError, "no function %R in the floor kernel", args[0]);
        return false;
    }
    const Row& row = *request.row;
    request.count = static_cast<int>(nargs - 1);
    if (request.count < row.least || request.count > row.most) {
        PyErr_Format(PyExc_TypeError, "%s takes %d to %d arguments (%d given)", row.name, row.least,
                     row.most, request.count);
        return false;
    }
    for (int k = 0; k < request.count; ++k) {
        if (!read_operand(args[k + 1], row.wide, request.operands[k])) {
            return false;
        }
    }
    if (row.function == Name::arctan) {
        Operand& iter = request.operands[1];
        if (request.count == 1) {
            iter = Operand{};
            iter.i = default_passes;
        } else if (iter.kind != Operand::Kind::integer) {
            PyErr_SetString(PyExc_TypeError, "arctan's iter is an int");
            return false;
        }
    }
    return true;
}

// visit(value) with the operand in its machine type.
template <typename Visit>
void as_machine(const Operand& operand, Visit&& visit) {
    switch (operand.kind) {
        case Operand::Kind::integer: return visit(operand.i);
        case Operand::Kind::real: return visit(operand.d);
        default: return visit(operand.w);
    }
}
template <typename Visit>
void as_machine_narrow(const Operand& operand, Visit&& visit) {
    if (operand.kind == Operand::Kind::real) {
        return visit(operand.d);
    }
    return visit(operand.i);
}

// visit(kernel, args...): the request's function as a callable of a Call and
// its arguments, each in its machine type.
template <typename Visit>
void dispatch(const Request& request, Visit&& visit) {
    const Operand* a = request.operands;
    switch (request.row->function) {
        case Name::sin:
            return as_machine(a[0], [&](auto x) {
                visit([](Call& c, auto angle) { return sine(c, angle); }, x);
            });
        case Name::cosin:
            return as_machine(a[0], [&](auto x) {
                visit([](Call& c, auto angle) { return cosin(c, angle); }, x);
            });
        case Name::tan:
            return as_machine(a[0], [&](auto x) {
                visit([](Call& c, auto angle) { return tangent(c, angle); }, x);
            });
        case Name::tan_rad:
            // _tan_rad converts its argument on entry, inside the call.
            return as_machine(a[0], [&](auto x) {
                visit([](Call& c, auto rad) { return tan_rad(c, to_double(rad)); }, x);
            });
        case Name::arctan:
            return as_machine_narrow(a[0], [&](auto x) {
                visit([](Call& c, auto value, Int iter) { return arctan(c, value, iter); }, x,
                      a[1].i);
            });
        case Name::arctan2:
            return as_machine_narrow(a[0], [&](auto x) {
                as_machine_narrow(a[1], [&](auto y) {
                    visit([](Call& c, auto u, auto v) { return arctan2(c, u, v); }, x, y);
                });
            });
        case Name::arcsin:
            return as_machine_narrow(a[0], [&](auto x) {
                visit([](Call& c, auto value) { return arcsin(c, value); }, x);
            });
        case Name::arccos:
            return as_machine_narrow(a[0], [&](auto x) {
                visit([](Call& c, auto value) { return arccos(c, value); }, x);
            });
    }
}

// Sets the exception for a call that ended in `fault`; null.
PyObject* fault_error(const Request& request, Fault fault) noexcept {
    const char* why = "";
    switch (fault) {
        case Fault::zero_division: why = "a division by zero"; break;
        case Fault::unassigned: why = "cosin's cosine left unassigned"; break;
        case Fault::sqrt_domain: why = "math.sqrt of a negative number"; break;
        case Fault::pow_overflow: why = "x ** 2 overflows"; break;
        case Fault::beyond_kernel:
            PyErr_Format(PyExc_ValueError, "%s: the floor kernel does not divide ints beyond 2**53",
                         request.row->name);
            return nullptr;
        case Fault::none: break;
    }
    PyErr_Format(PyExc_ArithmeticError, "%s raises here: %s", request.row->name, why);
    return nullptr;
}

// The value and the fault of one call.
struct Outcome {
    double value = 0.0;
    Fault fault = Fault::none;
};

Outcome evaluate_once(const Request& request) noexcept {
    Outcome outcome;
    dispatch(request, [&](auto kernel, auto... args) {
        Call call;
        outcome.value = kernel(call, args...);
        outcome.fault = call.fault;
    });
    return outcome;
}

// Hides a value from the optimiser: each pass must read it afresh, so no
// part of a call can be moved out of the timing loop.
template <typename T>
inline void opaque(T& value) noexcept {
#if defined(__x86_64__)
    if constexpr (std::is_same_v<T, double>) {
        asm volatile("" : "+x"(value));
    } else {
        asm volatile("" : "+r"(value));
    }
#else
    asm volatile("" : "+m"(value));
#endif
}

volatile std::uint64_t timing_sink;

template <typename Kernel, typename... Args>
double time_calls(Py_ssize_t n, Kernel kernel, Args... args) noexcept {
    std::uint64_t mixed = 0;
    const auto start = std::chrono::steady_clock::now();
    for (Py_ssize_t pass = 0; pass < n; ++pass) {
        (opaque(args), ...);
        Call call;
        const double value = kernel(call, args...);
        mixed ^= std::bit_cast<std::uint64_t>(value);
    }
    const auto stop = std::chrono::steady_clock::now();
    timing_sink = mixed;  // the results are used
    const std::chrono::duration<double, std::nano> elapsed = stop - start;
    return elapsed.count() / static_cast<double>(n);
}

// evaluate(name, *args): the kernel's result of one call.
PyObject* kernel_evaluate(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
    Request request;
    if (!parse(args, nargs, request)) {
        return nullptr;
    }
    const Outcome outcome = evaluate_once(request);
    if (outcome.fault != Fault::none) {
        return fault_error(request, outcome.fault);
    }
    return PyFloat_FromDouble(outcome.value);
}

// time(name, *args, n): nanoseconds per call, over n calls timed in one
// stretch.  A call that fails is not timed.
PyObject* kernel_time(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
    if (kwnames == nullptr || PyTuple_GET_SIZE(kwnames) != 1 ||
        !PyUnicode_Check(PyTuple_GET_ITEM(kwnames, 0)) ||
        PyUnicode_CompareWithASCIIString(PyTuple_GET_ITEM(kwnames, 0), "n") != 0) {
        PyErr_SetString(PyExc_TypeError, "time() takes the number of calls as its keyword n");
        return nullptr;
    }
    const Py_ssize_t n = PyLong_AsSsize_t(args[nargs]);
    if (n == -1 && PyErr_Occurred()) {
        return nullptr;
    }
    if (n < 1) {
        PyErr_SetString(PyExc_ValueError, "n must be at least 1");
        return nullptr;
    }
    Request request;
    if (!parse(args, nargs, request)) {
        return nullptr;
    }
    const Outcome outcome = evaluate_once(request);
    if (outcome.fault != Fault::none) {
        return fault_error(request, outcome.fault);
    }
    double nanoseconds = 0.0;
    dispatch(request,
             [&](auto kernel, auto... values) { nanoseconds = time_calls(n, kernel, values...); });
    return PyFloat_FromDouble(nanoseconds);
}

PyMethodDef kernel_methods[] = {
    {"evaluate", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(kernel_evaluate)),
     METH_FASTCALL, "evaluate(name, *args): the floor kernel's result of one call."},
    {"time", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(kernel_time)),
     METH_FASTCALL | METH_KEYWORDS,
     "time(name, *args, n): nanoseconds per call of the floor kernel, over n calls."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef kernel_module = {PyModuleDef_HEAD_INIT,
                             "floor_kernel",
                             nullptr,
                             0,
                             kernel_methods,
                             nullptr,
                             nullptr,
                             nullptr,
                             nullptr};

}  // namespace

PyMODINIT_FUNC PyInit_floor_kernel() { return PyModuleDef_Init(&kernel_module); }
