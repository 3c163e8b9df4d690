// Traceback entries for compiled code and the per-line code-object cache.
#include "runtime/traceback.h"

#include <frameobject.h>
#include <cstring>

#include "frame_line.h"
#include "runtime/ref.h"

namespace runtime {

namespace {
constexpr int cache_step = 64;
}

int code_cache_search(const CodeCacheEntry* entries, int count, int line) noexcept {
    if (count >= 1 && line > entries[count - 1].line) {
        return count;
    }
    int start = 0;
    int end = count - 1;
    int mid = 0;
    while (start < end) {
        mid = start + (end - start) / 2;
        if (line < entries[mid].line) {
            end = mid;
        } else if (line > entries[mid].line) {
            start = mid + 1;
        } else {
            return mid;
        }
    }
    return line <= entries[mid].line ? mid : mid + 1;
}

PyObject* code_cache_lookup(const CodeCache& cache, int line) noexcept {
    if (line == 0 || cache.entries == nullptr) {
        return nullptr;
    }
    int pos = code_cache_search(cache.entries, cache.count, line);
    if (pos < cache.count && cache.entries[pos].line == line) {
        return Py_NewRef(cache.entries[pos].code);
    }
    return nullptr;
}

void code_cache_insert(CodeCache& cache, int line, PyObject* code) noexcept {
    if (line == 0) {
        return;
    }
    if (cache.entries == nullptr) {
        auto* entries =
            static_cast<CodeCacheEntry*>(PyMem_Malloc(cache_step * sizeof(CodeCacheEntry)));
        if (entries == nullptr) {
            return;
        }
        cache.entries = entries;
        cache.capacity = cache_step;
        cache.count = 1;
        entries[0] = {Py_NewRef(code), line};
        return;
    }
    int pos = code_cache_search(cache.entries, cache.count, line);
    if (pos < cache.count && cache.entries[pos].line == line) {
        PyObject* old = cache.entries[pos].code;
        cache.entries[pos].code = Py_NewRef(code);
        Py_DECREF(old);
        return;
    }
    if (cache.count == cache.capacity) {
        int capacity = cache.capacity + cache_step;
        auto* entries = static_cast<CodeCacheEntry*>(
            PyMem_Realloc(cache.entries, static_cast<size_t>(capacity) * sizeof(CodeCacheEntry)));
        if (entries == nullptr) {
            return;
        }
        cache.entries = entries;
        cache.capacity = capacity;
    }
    std::memmove(&cache.entries[pos + 1], &cache.entries[pos],
                 static_cast<size_t>(cache.count - pos) * sizeof(CodeCacheEntry));
    cache.entries[pos] = {Py_NewRef(code), line};
    ++cache.count;
}

void add_traceback(CodeCache& cache, PyObject* globals, const char* function_name, int line,
                   const char* file_name) noexcept {
    PyThreadState* tstate = PyThreadState_GET();
    // A failure path reached without an exception is a broken callee or a bug
    // here; report it the way the interpreter does, never lose it.
    if (!PyErr_Occurred()) {
        PyErr_SetString(PyExc_SystemError, "error return without exception set");
    }
    // The code object and the frame are made with the exception set aside:
    // PyFrame_New looks for the builtins and the module name in `globals`
    // and, finding an exception pending, takes a miss for a failure.
    Ref exception = Ref::steal(PyErr_GetRaisedException());
    Ref traceback = Ref::steal(PyException_GetTraceback(exception.get()));
    Ref code = Ref::steal(code_cache_lookup(cache, line));
    if (!code) {
        code = Ref::steal(
            reinterpret_cast<PyObject*>(PyCode_NewEmpty(file_name, function_name, line)));
        if (!code) {
            return;  // the creation's error stands in for the exception
        }
        code_cache_insert(cache, line, code.get());
    }
    Ref frame = Ref::steal(reinterpret_cast<PyObject*>(
        PyFrame_New(tstate, reinterpret_cast<PyCodeObject*>(code.get()), globals, nullptr)));
    if (!frame) {
        return;  // so does the frame's
    }
    runtime_set_frame_line(reinterpret_cast<PyFrameObject*>(frame.get()), line);
    // Whatever ran meanwhile (a collection, a finalizer) may have touched the
    // exception's traceback; put back the one it had.
    Ref current = Ref::steal(PyException_GetTraceback(exception.get()));
    if (current.get() != traceback.get()) {
        PyException_SetTraceback(exception.get(), traceback ? traceback.get() : Py_None);
    }
    // Setting it back also drops anything raised meanwhile.
    PyErr_SetRaisedException(exception.release());
    PyTraceBack_Here(reinterpret_cast<PyFrameObject*>(frame.get()));
}

}  // namespace runtime
