// Traceback entries for failures inside compiled code: each names the
// module's source file, a function and a line, through a cached empty code
// object per line and a frame made for the entry.
#pragma once

#include <Python.h>
#include <cstdint>

namespace runtime {

struct CodeCacheEntry {
    PyObject* code;
    std::int32_t line;
};

// Code objects by line, sorted, never shrinking; lives as long as the process.
struct CodeCache {
    std::int32_t count = 0;
    std::int32_t capacity = 0;
    CodeCacheEntry* entries = nullptr;
};

// Position of `line` in the sorted entries, or where it belongs.
int code_cache_search(const CodeCacheEntry* entries, int count, int line) noexcept;
// New reference to the code object cached for `line`, or null (no error).
PyObject* code_cache_lookup(const CodeCache& cache, int line) noexcept;
// Caches `code` for `line`; allocation failures leave the cache unchanged.
void code_cache_insert(CodeCache& cache, int line, PyObject* code) noexcept;

// Prepends an entry (file, function, line) to the pending exception's
// traceback, with `globals` as the frame's globals.  Called with an
// exception set (SystemError is raised if there is none); one is still set
// afterwards: the same one unless the entry itself could not be made.
void add_traceback(CodeCache& cache, PyObject* globals, const char* function_name, int line,
                   const char* file_name) noexcept;

}  // namespace runtime
