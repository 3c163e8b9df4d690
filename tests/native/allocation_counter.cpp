// Test-only module: count(f) calls f() and returns how many allocator calls
// (malloc, calloc and realloc of every domain) it made, so that a test can
// fail each one in turn; fail(n, spared) makes the n-th allocator call from
// then on fail, unless it comes from code in one of the `spared` address
// ranges, and stop_failing() ends that and tells whether the call was spared.
// It registers nothing, so that a start-up measured with it runs as it would
// without it.
#include <Python.h>
#include <execinfo.h>
#include <cstdint>

#include "runtime/ref.h"

namespace {

using runtime::Ref;

Py_ssize_t counted = 0;

// The allocator call to fail (0 for none) and the code that is spared.
struct Fault {
    Py_ssize_t number = 0;
    std::uintptr_t spared[8][2] = {};  // [start, end) of each range
    int spared_count = 0;
    bool was_spared = false;
};
Fault fault;

struct Domain {
    PyMemAllocatorDomain domain;
    PyMemAllocatorEx wrapped;
};
Domain domains[] = {{PYMEM_DOMAIN_RAW, {}}, {PYMEM_DOMAIN_MEM, {}}, {PYMEM_DOMAIN_OBJ, {}}};

PyMemAllocatorEx& wrapped(void* context) noexcept { return static_cast<Domain*>(context)->wrapped; }

bool called_from_spared_code() noexcept {
    void* frames[64];
    int depth = backtrace(frames, 64);
    for (int i = 0; i < depth; ++i) {
        auto address = reinterpret_cast<std::uintptr_t>(frames[i]);
        for (int r = 0; r < fault.spared_count; ++r) {
            if (address > fault.spared[r][0] && address <= fault.spared[r][1]) {
                return true;
            }
        }
    }
    return false;
}

// Counts an allocator call; true when it is the one to fail.
bool count_call() noexcept {
    if (++counted != fault.number) {
        return false;
    }
    if (fault.spared_count > 0 && called_from_spared_code()) {
        fault.was_spared = true;
        return false;
    }
    return true;
}

void* counting_malloc(void* context, size_t size) noexcept {
    return count_call() ? nullptr : wrapped(context).malloc(wrapped(context).ctx, size);
}

void* counting_calloc(void* context, size_t count, size_t size) noexcept {
    return count_call() ? nullptr : wrapped(context).calloc(wrapped(context).ctx, count, size);
}

void* counting_realloc(void* context, void* block, size_t size) noexcept {
    return count_call() ? nullptr : wrapped(context).realloc(wrapped(context).ctx, block, size);
}

void passing_free(void* context, void* block) noexcept {
    wrapped(context).free(wrapped(context).ctx, block);
}

void start_counting() noexcept {
    for (Domain& d : domains) {
        PyMem_GetAllocator(d.domain, &d.wrapped);
        PyMemAllocatorEx counting = {&d, counting_malloc, counting_calloc, counting_realloc,
                                     passing_free};
        PyMem_SetAllocator(d.domain, &counting);
    }
    counted = 0;
}

void stop_counting() noexcept {
    for (Domain& d : domains) {
        PyMem_SetAllocator(d.domain, &d.wrapped);
    }
}

// count(f): the number of allocations made by f(); what f returns or raises
// is dropped.
PyObject* counter_count(PyObject*, PyObject* callable) noexcept {
    fault = Fault();
    start_counting();
    Ref result = Ref::steal(PyObject_CallNoArgs(callable));
    Py_ssize_t count = counted;
    stop_counting();
    if (!result) {
        PyErr_Clear();
    }
    return PyLong_FromSsize_t(count);
}

// fail(n, spared): allocator call n (from 1) from now on fails, unless one of
// the return addresses on the stack lies in a range (start, end] of the
// sequence `spared`.
PyObject* counter_fail(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
    if (nargs != 2) {
        PyErr_SetString(PyExc_TypeError, "fail(n, spared) takes two arguments");
        return nullptr;
    }
    Py_ssize_t number = PyLong_AsSsize_t(args[0]);
    if (number == -1 && PyErr_Occurred()) {
        return nullptr;
    }
    Ref ranges = Ref::steal(PySequence_Fast(args[1], "spared must be a sequence"));
    if (!ranges) {
        return nullptr;
    }
    Py_ssize_t count = PySequence_Fast_GET_SIZE(ranges.get());
    if (count > 8) {
        PyErr_SetString(PyExc_ValueError, "at most 8 spared ranges");
        return nullptr;
    }
    Fault armed;
    armed.number = number;
    armed.spared_count = static_cast<int>(count);
    for (Py_ssize_t r = 0; r < count; ++r) {
        unsigned long long start, end;
        if (!PyArg_ParseTuple(PySequence_Fast_GET_ITEM(ranges.get(), r), "KK", &start, &end)) {
            return nullptr;
        }
        armed.spared[r][0] = start;
        armed.spared[r][1] = end;
    }
    void* warm_up[1];
    backtrace(warm_up, 1);  // loads the unwinder now, not inside an allocation
    fault = armed;
    start_counting();
    Py_RETURN_NONE;
}

// stop_failing(): ends fail() and returns whether its allocator call was
// spared.
PyObject* counter_stop_failing(PyObject*, PyObject*) noexcept {
    stop_counting();
    bool spared = fault.was_spared;
    fault = Fault();
    return PyBool_FromLong(spared);
}

PyMethodDef counter_methods[] = {
    {"count", counter_count, METH_O, nullptr},
    {"fail", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(counter_fail)),
     METH_FASTCALL, nullptr},
    {"stop_failing", counter_stop_failing, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef counter_module = {PyModuleDef_HEAD_INIT,
                              "allocation_counter",
                              nullptr,
                              0,
                              counter_methods,
                              nullptr,
                              nullptr,
                              nullptr,
                              nullptr};

}  // namespace

PyMODINIT_FUNC PyInit_allocation_counter() { return PyModuleDef_Init(&counter_module); }
