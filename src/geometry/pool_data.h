// The compressed constant pool, generated at build time from data/.
#pragma once

#include <Python.h>

namespace geometry {

extern const unsigned char pool_block[];
extern const Py_ssize_t pool_block_size;
extern const unsigned char pool_lengths[];
extern const int pool_entry_count;
extern const int pool_first_interned;
extern const int pool_first_bytes;

}  // namespace geometry
