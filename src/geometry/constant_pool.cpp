// The module's constant pool and code objects, built once at start-up.
#include "function_rows.h"
#include "module_state.h"
#include "pool_data.h"
#include "runtime/pool.h"
#include "runtime/ref.h"

namespace geometry {

int build_constant_pool() noexcept {
    const runtime::PoolLayout layout{pool_block,       pool_block_size,     pool_lengths,
                                     pool_entry_count, pool_first_interned, pool_first_bytes};
    if (runtime::expand_pool(layout, state.pool) < 0) {
        return -1;
    }
    Py_XSETREF(state.float_zero, PyFloat_FromDouble(0.0));
    if (state.float_zero == nullptr) {
        return -1;
    }
    for (int index = 0; index < int_constant_count; ++index) {
        if (runtime::make_int_constant(int_constant_at(index)) < 0) {
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
        const FunctionRow& row = function_rows[i];
        PyObject* locals[std::size(row.locals.items)];
        for (int j = 0; j < row.locals.count; ++j) {
            locals[j] = pool(row.locals.items[j]);
        }
        PyObject* code = runtime::build_code(code_descriptor(row), locals, pool(POOL_SOURCE_PATH),
                                             pool(row.name.entry), pool(row.line_table), shared);
        if (code == nullptr) {
            return -1;
        }
        Py_XSETREF(state.code_objects[i], code);
    }
    return 0;
}

}  // namespace geometry
