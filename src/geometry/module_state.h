// The process-wide state of geometry.trigonometry: one static record filled
// by the module's start-up and read by every function body.
#pragma once

#include <Python.h>
#include <iterator>

#include "pool_index.h"
#include "runtime/numbers.h"
#include "runtime/traceback.h"

namespace geometry {

// The int constants of the source, in the order they are built.
enum IntIndex : int {
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
    PyObject* pool[pool_size];
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

// The values of the int constants, stored in the smallest type that holds them.
inline constexpr signed char small_int_values[] = {0, -1, 1, 2, 20, -90, 90};
inline constexpr short wide_int_values[] = {-180, 180, 270, 360};
static_assert(std::size(small_int_values) + std::size(wide_int_values) == INT_COUNT);

// Constant `index` with its value and its object's slot; start-up builds the
// object from this value.
constexpr runtime::IntConstant int_constant(IntIndex index) noexcept {
    constexpr int small = static_cast<int>(std::size(small_int_values));
    return {index < small ? small_int_values[index] : wide_int_values[index - small],
            &state.ints[index]};
}

// Builds the pool entries, the float constant and the int constants.
int build_constant_pool() noexcept;
// Builds the eight code objects from the function table.
int build_code_objects() noexcept;

// Adds the traceback entry (function, line) of the module's source file to
// the pending exception.
void add_traceback(const char* function_name, int line) noexcept;

}  // namespace geometry
