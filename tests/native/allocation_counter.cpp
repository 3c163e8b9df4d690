// Test-only module: count(f) calls f() and returns how many allocator calls
// (malloc, calloc and realloc of every domain) it made, the calls that
// _testcapi.set_nomemory numbers, so that a test can fail each one in turn.
// It registers nothing, so that a start-up measured with it runs as it would
// without it.
#include <Python.h>

#include "runtime/ref.h"

namespace {

using runtime::Ref;

Py_ssize_t counted = 0;

struct Domain {
    PyMemAllocatorDomain domain;
    PyMemAllocatorEx wrapped;
};
Domain domains[] = {{PYMEM_DOMAIN_RAW, {}}, {PYMEM_DOMAIN_MEM, {}}, {PYMEM_DOMAIN_OBJ, {}}};

PyMemAllocatorEx& wrapped(void* context) noexcept {
    return static_cast<Domain*>(context)->wrapped;
}

void* counting_malloc(void* context, size_t size) noexcept {
    ++counted;
    return wrapped(context).malloc(wrapped(context).ctx, size);
}

void* counting_calloc(void* context, size_t count, size_t size) noexcept {
    ++counted;
    return wrapped(context).calloc(wrapped(context).ctx, count, size);
}

void* counting_realloc(void* context, void* block, size_t size) noexcept {
    ++counted;
    return wrapped(context).realloc(wrapped(context).ctx, block, size);
}

void passing_free(void* context, void* block) noexcept {
    wrapped(context).free(wrapped(context).ctx, block);
}

// count(f): the number of allocations made by f(); what f returns or raises
// is dropped.
PyObject* counter_count(PyObject*, PyObject* callable) noexcept {
    for (Domain& d : domains) {
        PyMem_GetAllocator(d.domain, &d.wrapped);
        PyMemAllocatorEx counting = {&d, counting_malloc, counting_calloc, counting_realloc,
                                     passing_free};
        PyMem_SetAllocator(d.domain, &counting);
    }
    counted = 0;
    Ref result = Ref::steal(PyObject_CallNoArgs(callable));
    Py_ssize_t count = counted;
    for (Domain& d : domains) {
        PyMem_SetAllocator(d.domain, &d.wrapped);
    }
    if (!result) {
        PyErr_Clear();
    }
    return PyLong_FromSsize_t(count);
}

PyMethodDef counter_methods[] = {
    {"count", counter_count, METH_O, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef counter_module = {PyModuleDef_HEAD_INIT, "allocation_counter", nullptr, 0,
                              counter_methods, nullptr, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit_allocation_counter() { return PyModuleDef_Init(&counter_module); }
