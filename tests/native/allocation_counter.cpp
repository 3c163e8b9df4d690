// Test-only module: count(f) calls f() and returns how many allocator calls
// (malloc, calloc and realloc of every domain) it made, the calls that
// _testcapi.set_nomemory numbers, so that a test can fail each one in turn.
// It registers nothing, so that a start-up measured with it runs as it would
// without it.  report_faults() makes a crash print its stack, so that a test
// can tell a known interpreter bug from a crash of this project's code.
#include <Python.h>
#include <execinfo.h>
#include <signal.h>
#include <unistd.h>

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

// A segmentation fault or bus error prints the stack's return addresses, each
// as its library's path and offset, and ends the process with status 70.
void on_fault(int) noexcept {
    void* frames[64];
    int depth = backtrace(frames, 64);
    backtrace_symbols_fd(frames, depth, STDERR_FILENO);
    _exit(70);
}

// report_faults(): from now on a crash prints its stack.
PyObject* counter_report_faults(PyObject*, PyObject*) noexcept {
    void* warm_up[1];
    backtrace(warm_up, 1);  // loads the unwinder now, not inside the handler
    signal(SIGSEGV, on_fault);
    signal(SIGBUS, on_fault);
    Py_RETURN_NONE;
}

PyMethodDef counter_methods[] = {
    {"count", counter_count, METH_O, nullptr},
    {"report_faults", counter_report_faults, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef counter_module = {PyModuleDef_HEAD_INIT, "allocation_counter", nullptr, 0,
                              counter_methods, nullptr, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit_allocation_counter() { return PyModuleDef_Init(&counter_module); }
