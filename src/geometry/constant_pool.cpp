// The module's constant pool and code objects, built once at start-up.
#include <cstdint>
#include <iterator>

#include "geometry/module_state.h"
#include "geometry/pool_data.h"
#include "runtime/pool.h"
#include "runtime/ref.h"

namespace geometry {

namespace {

// The int constants, stored in the smallest type that holds them.
constexpr std::int8_t small_ints[] = {0, -1, 1, 2, 20, -90, 90};
constexpr std::int16_t wide_ints[] = {-180, 180, 270, 360};
static_assert(std::size(small_ints) + std::size(wide_ints) == INT_COUNT);

struct CodeEntry {
    std::uint32_t descriptor;
    Pool name;
    Pool line_table;
    Pool locals[7];
};

// In the order of the function table: sin, cosin, tan, _tan_rad, arctan,
// arctan2, arcsin, arccos.
constexpr CodeEntry code_entries[function_count] = {
    {786929, POOL_SIN, POOL_LINES_SIN,
     {POOL_ANGLE, POOL_SIGN, POOL_X, POOL_TERM, POOL_TOL, POOL_RESULT, POOL_I}},
    {5898657, POOL_COSIN, POOL_LINES_COSIN, {POOL_ANGLE, POOL_COSINE}},
    {8520081, POOL_TAN, POOL_LINES_TAN, {POOL_ANGLE}},
    {10224017, POOL_TAN_RAD, POOL_LINES_TAN_RAD, {POOL_RAD}},
    {11010498, POOL_ARCTAN, POOL_LINES_ARCTAN, {POOL_X, POOL_ITER, POOL_THETA, POOL_UNDERSCORE}},
    {14680482, POOL_ARCTAN2, POOL_LINES_ARCTAN2, {POOL_X, POOL_Y}},
    {18219425, POOL_ARCSIN, POOL_LINES_ARCSIN, {POOL_X, POOL_RESULT}},
    {20316577, POOL_ARCCOS, POOL_LINES_ARCCOS, {POOL_X, POOL_RESULT}},
};

}  // namespace

int build_constant_pool() noexcept {
    const runtime::PoolLayout layout{pool_block,     pool_block_size,     pool_lengths,
                                     pool_entry_count, pool_first_interned, pool_first_bytes};
    if (runtime::expand_pool(layout, state.pool) < 0) {
        return -1;
    }
    Py_XSETREF(state.float_zero, PyFloat_FromDouble(0.0));
    if (state.float_zero == nullptr) {
        return -1;
    }
    int index = 0;
    for (long value : small_ints) {
        Py_XSETREF(state.ints[index], PyLong_FromLong(value));
        if (state.ints[index++] == nullptr) {
            return -1;
        }
    }
    for (long value : wide_ints) {
        Py_XSETREF(state.ints[index], PyLong_FromLong(value));
        if (state.ints[index++] == nullptr) {
            return -1;
        }
    }
    return 0;
}

int build_code_objects() noexcept {
    runtime::Ref dedup = runtime::Ref::steal(PyDict_New());
    if (!dedup) {
        return -1;
    }
    const runtime::CodeShared shared{state.empty_tuple, state.empty_bytes, dedup.get()};
    for (int i = 0; i < function_count; ++i) {
        const CodeEntry& entry = code_entries[i];
        PyObject* locals[std::size(entry.locals)];
        int count = runtime::decode_descriptor(entry.descriptor).local_count;
        for (int j = 0; j < count; ++j) {
            locals[j] = pool(entry.locals[j]);
        }
        PyObject* code = runtime::build_code(entry.descriptor, locals, pool(POOL_SOURCE_PATH),
                                             pool(entry.name), pool(entry.line_table), shared);
        if (code == nullptr) {
            return -1;
        }
        Py_XSETREF(state.code_objects[i], code);
    }
    return 0;
}

}  // namespace geometry
