// The shape of a function row: everything the module says about one of its
// functions.  Start-up, the code objects, the method table, the binding
// wrappers, the watched names and the machine path's calls are all derived
// from the rows (function_rows.h).
#pragma once

#include <Python.h>
#include <cstdint>
#include <initializer_list>

#include "module_state.h"
#include "runtime/pool.h"

namespace geometry {

// A short list held inline, so that rows stay constant data.
template <typename T, int capacity>
struct List {
    T items[capacity] = {};
    int count = 0;

    constexpr List(std::initializer_list<T> values) noexcept {
        for (T value : values) {
            items[count++] = value;
        }
    }
    constexpr const T* begin() const noexcept { return items; }
    constexpr const T* end() const noexcept { return items + count; }
};

// A function's name and its error-location name ("geometry.trigonometry."
// and the name), both made from the pool entry of the name.
struct FunctionName {
    Pool entry;
    char plain[16] = {};
    char qualified[40] = {};

    consteval FunctionName(Pool name) noexcept : entry(name) {
        constexpr char prefix[] = "geometry.trigonometry.";
        std::string_view text = pool_text[name];
        int n = 0;
        for (char c : prefix) {
            if (c != '\0') {
                qualified[n++] = c;
            }
        }
        for (std::size_t i = 0; i < text.size(); ++i) {
            plain[i] = text[i];
            qualified[n++] = text[i];
        }
    }
};

struct Annotation {
    Pool key;  // a parameter name, or "return"
    Pool text;
};

// The parameters are the first `argument_count` locals; those from
// `required_count` on default to the int constant `default_value`.
struct FunctionRow {
    FunctionName name;
    int def_line;  // also the code object's first line
    int argument_count;
    int required_count;
    long default_value = 0;
    List<Pool, 7> locals;
    List<Annotation, 3> annotations;
    Pool line_table;
    int code_flags = CO_OPTIMIZED | CO_NEWLOCALS;
    bool takes_double = false;    // the argument is converted to a double on entry
    bool called_by_name = false;  // a body calls it through its module-level name
    const char* doc = nullptr;
};

// Row indices, in publication order.
enum FunctionIndex : int { SIN, COSIN, TAN, TAN_RAD, ARCTAN, ARCTAN2, ARCSIN, ARCCOS };

// The code-object descriptor word of a row; its parameters are neither
// positional-only nor keyword-only.
constexpr std::uint32_t code_descriptor(const FunctionRow& row) noexcept {
    return runtime::encode_descriptor(
        {row.argument_count, 0, 0, row.locals.count, row.code_flags, row.def_line});
}

}  // namespace geometry
