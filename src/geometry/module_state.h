// The process-wide state of geometry.trigonometry: one static record filled
// by the module's start-up and read by every function body.
#pragma once

#include <Python.h>
#include <cstdint>

#include "runtime/traceback.h"

namespace geometry {

// Indices of the constant pool entries that the code reads.
enum Pool : int {
    POOL_DOT = 0,
    POOL_FLOAT_OR_INT = 2,
    POOL_PACKAGE_PREFIX = 3,
    POOL_INT_OR_FLOAT = 4,
    POOL_SOURCE_PATH = 5,
    POOL_EMPTY = 6,
    POOL_UNDERSCORE = 8,
    POOL_ALGEBRA = 9,
    POOL_ANGLE = 10,
    POOL_ARCCOS = 11,
    POOL_ARCSIN = 12,
    POOL_ARCTAN = 13,
    POOL_ARCTAN2 = 14,
    POOL_CONSTANTS = 17,
    POOL_COSIN = 18,
    POOL_COSINE = 19,
    POOL_FLOAT = 20,
    POOL_MODULE_NAME = 22,
    POOL_I = 23,
    POOL_ITER = 26,
    POOL_PI = 30,
    POOL_RAD = 33,
    POOL_RESULT = 34,
    POOL_RETURN = 35,
    POOL_SIGN = 38,
    POOL_ALGEBRA_MODULE = 39,
    POOL_SIN = 40,
    POOL_SQRT = 41,
    POOL_TAN = 42,
    POOL_TAN_RAD = 43,
    POOL_TERM = 44,
    POOL_TEST = 45,
    POOL_THETA = 46,
    POOL_TOL = 47,
    POOL_X = 49,
    POOL_Y = 50,
    POOL_LINES_TAN_RAD = 51,
    POOL_LINES_COSIN = 52,
    POOL_LINES_ARCSIN = 53,
    POOL_LINES_ARCCOS = 54,
    POOL_LINES_ARCTAN = 55,
    POOL_LINES_TAN = 56,
    POOL_LINES_SIN = 57,
    POOL_LINES_ARCTAN2 = 58,
    POOL_SIZE = 59,
};

// Indices of the int constants, in the order they are built.
enum IntConstant : int {
    INT_0, INT_MINUS_1, INT_1, INT_2, INT_20, INT_MINUS_90, INT_90,
    INT_MINUS_180, INT_180, INT_270, INT_360, INT_COUNT,
};

constexpr int function_count = 8;

struct ModuleState {
    PyObject* module_dict;
    PyObject* builtins;
    PyObject* empty_tuple;
    PyObject* empty_bytes;
    PyObject* arctan_defaults;
    PyObject* code_objects[function_count];
    PyObject* pool[POOL_SIZE];
    PyObject* float_zero;
    PyObject* ints[INT_COUNT];
    PyTypeObject* metatype;
    PyTypeObject* function_type;
    runtime::CodeCache code_cache;
    PyObject* module;
};

extern ModuleState state;

inline PyObject* pool(Pool index) noexcept {
    return state.pool[index];
}
inline PyObject* int_constant(IntConstant index) noexcept {
    return state.ints[index];
}

// Builds the pool entries, the float constant and the int constants.
int build_constant_pool() noexcept;
// Builds the eight code objects from the pool.
int build_code_objects() noexcept;

// Adds the traceback entry (function, line) of the module's source file to
// the pending exception.
void add_traceback(const char* function_name, int line) noexcept;

}  // namespace geometry
