// The compiled function type: its specification, the constructor, which
// chooses a call entry by call convention, and the garbage-collector slots.
#include "runtime/function.h"

#include <structmember.h>
#include <cstddef>

#include "function_slots.h"
#include "runtime/compat.h"
#include "runtime/ref.h"

namespace runtime {

namespace {

int function_clear(PyObject* self) noexcept {
    CompiledFunction* f = as_function(self);
    Py_CLEAR(f->closure);
    Py_CLEAR(f->base.func.m_module);
    PyObject_ClearManagedDict(self);
    Py_CLEAR(f->name);
    Py_CLEAR(f->qualname);
    Py_CLEAR(f->doc);
    Py_CLEAR(f->globals);
    Py_CLEAR(f->code);
    // mm_class is declared as a type pointer; clear it through a plain object pointer.
    PyObject* defining_class = reinterpret_cast<PyObject*>(f->base.mm_class);
    f->base.mm_class = nullptr;
    Py_XDECREF(defining_class);
    Py_CLEAR(f->defaults);
    Py_CLEAR(f->kwdefaults);
    Py_CLEAR(f->annotations);
    Py_CLEAR(f->coroutine_marker);
    Py_CLEAR(f->dynamic_defaults);
    return 0;
}

int function_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
    CompiledFunction* f = as_function(self);
    // Instances of a heap type keep their type alive.
    Py_VISIT(Py_TYPE(self));
    Py_VISIT(f->closure);
    Py_VISIT(f->base.func.m_module);
    if (int result = PyObject_VisitManagedDict(self, visit, arg)) {
        return result;
    }
    // Every field the record owns: a str subclass assigned to __name__ or a
    // dict assigned to __annotations__ can close a cycle through the function.
    Py_VISIT(f->name);
    Py_VISIT(f->qualname);
    Py_VISIT(f->doc);
    Py_VISIT(f->globals);
    Py_VISIT(f->code);
    Py_VISIT(reinterpret_cast<PyObject*>(f->base.mm_class));
    Py_VISIT(f->defaults);
    Py_VISIT(f->kwdefaults);
    Py_VISIT(f->annotations);
    Py_VISIT(f->coroutine_marker);
    Py_VISIT(f->dynamic_defaults);
    return 0;
}

void function_dealloc(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    if (as_function(self)->base.func.m_weakreflist != nullptr) {
        PyObject_ClearWeakRefs(self);
    }
    function_clear(self);
    PyObject_GC_Del(self);
    // The instance held a reference to its heap type since allocation.
    Py_DECREF(type);
}

PyMemberDef function_members[] = {
    {"__module__", T_OBJECT, offsetof(PyCFunctionObject, m_module), 0, nullptr},
    {"__vectorcalloffset__", T_PYSSIZET, offsetof(PyCFunctionObject, vectorcall), READONLY,
     nullptr},
    {"__weaklistoffset__", T_PYSSIZET, offsetof(PyCFunctionObject, m_weakreflist), READONLY,
     nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyType_Slot function_type_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(function_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(function_repr)},
    {Py_tp_call, reinterpret_cast<void*>(function_call)},
    {Py_tp_traverse, reinterpret_cast<void*>(function_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(function_clear)},
    {Py_tp_methods, function_methods},
    {Py_tp_members, function_members},
    {Py_tp_getset, function_getset},
    {Py_tp_descr_get, reinterpret_cast<void*>(function_descr_get)},
    {0, nullptr},
};

}  // namespace

PyType_Spec function_type_spec = {
    .name = "_compiled_3_2_4.compiled_function_or_method",
    .basicsize = static_cast<int>(sizeof(CompiledFunction)),
    .itemsize = 0,
    .flags = Py_TPFLAGS_MANAGED_DICT | Py_TPFLAGS_DISALLOW_INSTANTIATION |
             Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_VECTORCALL |
             Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_METHOD_DESCRIPTOR,
    .slots = function_type_slots,
};

PyObject* function_new(PyTypeObject* type, PyMethodDef* def, PyObject* qualname, PyObject* module,
                       PyObject* globals, PyObject* code, PyObject* defaults,
                       PyObject* annotations) noexcept {
    CompiledFunction* f = PyObject_GC_New(CompiledFunction, type);
    if (f == nullptr) {
        return nullptr;
    }
    f->flags = 0;
    f->base.func.m_weakreflist = nullptr;
    f->base.func.m_ml = def;
    f->base.func.m_self = reinterpret_cast<PyObject*>(f);
    f->closure = nullptr;
    f->base.func.m_module = Py_XNewRef(module);
    f->name = nullptr;
    f->qualname = Py_NewRef(qualname);
    f->doc = nullptr;
    f->base.mm_class = nullptr;
    f->globals = Py_NewRef(globals);
    f->code = Py_XNewRef(code);
    f->dynamic_defaults = nullptr;
    f->defaults = Py_XNewRef(defaults);
    f->kwdefaults = nullptr;
    f->defaults_getter = nullptr;
    f->annotations = Py_XNewRef(annotations);
    f->coroutine_marker = nullptr;
    f->monitoring = Monitoring();

    vectorcallfunc entry;
    switch (def->ml_flags &
            (METH_VARARGS | METH_KEYWORDS | METH_NOARGS | METH_O | METH_FASTCALL | METH_METHOD)) {
        case METH_VARARGS | METH_KEYWORDS:
            entry = nullptr;  // calls go through the tuple call
            break;
        case METH_NOARGS: entry = function_vectorcall_noargs; break;
        case METH_O: entry = function_vectorcall_o; break;
        case METH_FASTCALL | METH_KEYWORDS: entry = function_vectorcall_fastcall_keywords; break;
        case METH_METHOD | METH_FASTCALL | METH_KEYWORDS:
            entry = function_vectorcall_fastcall_keywords_method;
            break;
        default:
            PyErr_SetString(PyExc_SystemError, "Bad call flags for CompiledFunction");
            f->base.func.vectorcall = nullptr;
            Py_DECREF(f);
            return nullptr;
    }
    f->base.func.vectorcall = entry;
    PyObject_GC_Track(f);
    return reinterpret_cast<PyObject*>(f);
}

}  // namespace runtime
