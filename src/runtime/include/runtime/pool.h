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

// Bit fields of a code-object descriptor word, from the least significant
// bit; the layout is written once, in the shifts and masks below.
struct CodeDescriptor {
    int argument_count;         // 2 bits
    int positional_only_count;  // 1 bit
    int keyword_only_count;     // 1 bit
    int local_count;            // 3 bits
    int flags;                  // 10 bits
    int first_line;             // 8 bits
};

namespace descriptor_detail {
struct Field {
    int shift;
    std::uint32_t mask;
};
inline constexpr Field fields[] = {{0, 0x3}, {2, 0x1}, {3, 0x1}, {4, 0x7}, {7, 0x3ff}, {17, 0xff}};
}  // namespace descriptor_detail

constexpr CodeDescriptor decode_descriptor(std::uint32_t word) noexcept {
    using descriptor_detail::fields;
    auto field = [word](int i) {
        return static_cast<int>((word >> fields[i].shift) & fields[i].mask);
    };
    return CodeDescriptor{field(0), field(1), field(2), field(3), field(4), field(5)};
}

constexpr std::uint32_t encode_descriptor(const CodeDescriptor& d) noexcept {
    using descriptor_detail::fields;
    const int values[] = {
        d.argument_count, d.positional_only_count, d.keyword_only_count, d.local_count, d.flags,
        d.first_line};
    std::uint32_t word = 0;
    for (int i = 0; i < 6; ++i) {
        word |= (static_cast<std::uint32_t>(values[i]) & fields[i].mask) << fields[i].shift;
    }
    return word;
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
