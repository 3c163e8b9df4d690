// The process-wide state of geometry.trigonometry: one static record filled
// by the module's start-up and read by every function body.
#pragma once

#include <Python.h>
#include <iterator>

#include "pool_index.h"
#include "runtime/number_class.h"
#include "runtime/traceback.h"

namespace geometry {

// The int constants of the source, in the order start-up builds them.  A new
// constant is added here alone: the code names a constant by its value.
inline constexpr short int_constant_values[] = {0, -1, 1, 2, 20, -90, 90, -180, 180, 270, 360};
inline constexpr int int_constant_count = static_cast<int>(std::size(int_constant_values));

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
    PyObject* ints[int_constant_count];
    PyTypeObject* metatype;
    PyTypeObject* function_type;
    runtime::CodeCache code_cache;
    PyObject* module;
};

extern ModuleState state;

inline PyObject* pool(Pool index) noexcept { return state.pool[index]; }

// The constant at `index` in the table, with its object's slot; start-up
// builds the object from this value.
constexpr runtime::IntConstant int_constant_at(int index) noexcept {
    return {int_constant_values[index], &state.ints[index]};
}

// The constant of value `value`; a value missing from the table fails the
// build.
consteval runtime::IntConstant int_constant(long value) {
    for (int index = 0; index < int_constant_count; ++index) {
        if (int_constant_values[index] == value) {
            return int_constant_at(index);
        }
    }
    throw "not an int constant of the source";
}

// The constant `value`, as the bodies name it: k<360>.
template <long value>
inline constexpr runtime::IntConstant k = int_constant(value);

// Builds the pool entries, the float constant and the int constants.
int build_constant_pool() noexcept;
// Builds the eight code objects from the function table.
int build_code_objects() noexcept;

// Import the sibling modules into the module dictionary, as the source's
// lines 1 and 2 do.
int import_constants() noexcept;
int import_algebra() noexcept;

// Adds the traceback entry (function, line) of the module's source file to
// the pending exception.
void add_traceback(const char* function_name, int line) noexcept;

}  // namespace geometry
