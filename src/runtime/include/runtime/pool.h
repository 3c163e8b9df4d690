// Expansion of a module's compressed constant pool, and the builder of the
// introspection-only code objects of its functions.
#pragma once

#include <Python.h>
#include <cstdint>

namespace runtime {

// A zlib stream of all entries concatenated, with each entry's length.
// Entries before `first_interned` become plain strs, those before
// `first_bytes` interned strs, the rest bytes.
struct PoolLayout {
    const unsigned char* block;
    Py_ssize_t block_size;
    const unsigned char* lengths;
    int entry_count;
    int first_interned;
    int first_bytes;
};

// Fills entries[0 .. entry_count) with new references and computes each
// entry's hash.  Returns -1 with an exception set; entries made before the
// failure stay filled.
int expand_pool(const PoolLayout& layout, PyObject** entries) noexcept;

// Bit fields of a code-object descriptor word, from the least significant bit.
struct CodeDescriptor {
    int argument_count;        // 2 bits
    int positional_only_count; // 1 bit
    int keyword_only_count;    // 1 bit
    int local_count;           // 3 bits
    int flags;                 // 10 bits
    int first_line;            // 8 bits
};

constexpr CodeDescriptor decode_descriptor(std::uint32_t word) noexcept {
    return CodeDescriptor{
        static_cast<int>(word & 0x3),         static_cast<int>((word >> 2) & 0x1),
        static_cast<int>((word >> 3) & 0x1),  static_cast<int>((word >> 4) & 0x7),
        static_cast<int>((word >> 7) & 0x3ff), static_cast<int>((word >> 17) & 0xff),
    };
}

// Objects that every code object of a module shares.
struct CodeShared {
    PyObject* empty_tuple;
    PyObject* empty_bytes;
    PyObject* varnames_dedup;  // dict: equal local-name tuples are stored once
};

// A code object that describes a compiled function for introspection.  Its
// instructions only raise, should Python code run them.  `line_table` may be
// null.
PyObject* build_code(std::uint32_t descriptor, PyObject* const* local_names, PyObject* file_name,
                     PyObject* name, PyObject* line_table, const CodeShared& shared) noexcept;

}  // namespace runtime
