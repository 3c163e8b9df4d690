// The compiled function type: its specifications, the registry through which
// extension modules share it, the constructor, the fast keyword entry and the
// garbage-collector slots.
#include "runtime/function.h"

#include <cstddef>
#include <cstring>
#include <structmember.h>
#include <utility>

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

PyObject* metatype_get_module(PyObject*, void*) noexcept {
    return PyUnicode_FromString(registry_module_name);
}

PyGetSetDef metatype_getset[] = {
    {"__module__", metatype_get_module, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot metatype_slots[] = {
    {Py_tp_getset, metatype_getset},
    {0, nullptr},
};

// The part of a dotted type name after its last dot.
const char* short_type_name(const char* name) noexcept {
    const char* dot = std::strrchr(name, '.');
    return dot ? dot + 1 : name;
}

// The metatype's tp_new.  The metatype disallows instantiation, which leaves
// it no tp_new; but type.__new__ passes the making of a class to the most
// derived metaclass of its bases through that slot without looking, so that
// type('X', (compiled_function_or_method,), {}) would call a null pointer.
// This one refuses as calling the metatype does.
PyObject* metatype_new(PyTypeObject* type, PyObject*, PyObject*) noexcept {
    PyErr_Format(PyExc_TypeError, "cannot create '%s' instances", type->tp_name);
    return nullptr;
}

// A new type from `spec`.  CPython 3.12 can fail to copy the type's name
// without raising, so the error is made sure of here.
//
// PyType_FromMetaclass refuses a metaclass with a tp_new of its own, which a
// metatype that disallows instantiation has only to refuse (metatype_new,
// or another runtime's copy of it).  Its tp_new is lifted while the type is
// made, with the collector off so that no finalizer runs and finds it
// lifted; making a type calls no tp_new of its metaclass.
PyObject* new_type(PyTypeObject* metaclass, PyObject* module, PyType_Spec* spec,
                   PyObject* bases) noexcept {
    newfunc lifted = nullptr;
    int collecting = 0;
    if (metaclass != nullptr && PyType_HasFeature(metaclass, Py_TPFLAGS_DISALLOW_INSTANTIATION)) {
        lifted = std::exchange(metaclass->tp_new, nullptr);
        collecting = PyGC_Disable();
    }
    PyObject* type = PyType_FromMetaclass(metaclass, module, spec, bases);
    if (lifted != nullptr) {
        metaclass->tp_new = lifted;
    }
    if (collecting) {
        PyGC_Enable();
    }
    if (type == nullptr && !PyErr_Occurred()) {
        PyErr_NoMemory();
    }
    // The metatype made here refuses instantiation through tp_new too.
    if (type != nullptr && spec == &metatype_spec) {
        reinterpret_cast<PyTypeObject*>(type)->tp_new = metatype_new;
        PyType_Modified(reinterpret_cast<PyTypeObject*>(type));
    }
    return type;
}

// Whether `found` is laid out as `reference`, a type that this runtime has
// just made from the same type specification.  The registry's type may come
// from another module's copy of the runtime, whose slot functions are its
// own, so slots are compared for presence only; everything that instances
// are allocated, traversed and called by must be equal.  A class statement
// can give a type the right name and size, not these flags and offsets.
bool same_layout(PyTypeObject* found, PyTypeObject* reference, const PyType_Spec* spec) noexcept {
    constexpr unsigned long changing_flags = Py_TPFLAGS_VALID_VERSION_TAG | Py_TPFLAGS_READYING;
    if (Py_TYPE(found) != Py_TYPE(reference) || found->tp_base != reference->tp_base ||
        found->tp_basicsize != reference->tp_basicsize ||
        found->tp_itemsize != reference->tp_itemsize ||
        (found->tp_flags & ~changing_flags) != (reference->tp_flags & ~changing_flags) ||
        found->tp_vectorcall_offset != reference->tp_vectorcall_offset ||
        found->tp_weaklistoffset != reference->tp_weaklistoffset ||
        found->tp_dictoffset != reference->tp_dictoffset) {
        return false;
    }
    for (const PyType_Slot* slot = spec->slots; slot->slot != 0; ++slot) {
        if ((PyType_GetSlot(found, slot->slot) == nullptr) !=
            (PyType_GetSlot(reference, slot->slot) == nullptr)) {
            return false;
        }
    }
    return true;
}

// The registry's `found` accepted as the shared type made from `spec`: the
// checks of check_shared_type, then, for the function type, the layout of a
// type made here.
// Consumes `found`; null with an exception set when it cannot serve.
PyTypeObject* accept_found_type(Ref found, const char* short_name, PyTypeObject* metaclass,
                                PyObject* registry, PyType_Spec* spec, PyObject* bases,
                                Ref reference) noexcept {
    if (check_shared_type(found.get(), short_name, spec->basicsize) < 0) {
        return nullptr;
    }
    // Any metaclass serves the function type (the class statement's
    // `class Meta(type): pass` among them); only the function type's own
    // instances are allocated, traversed and called by this runtime.
    if (spec == &metatype_spec) {
        return reinterpret_cast<PyTypeObject*>(found.release());
    }
    if (!reference) {
        reference = Ref::steal(new_type(metaclass, registry, spec, bases));
        if (!reference) {
            return nullptr;
        }
    }
    if (!same_layout(reinterpret_cast<PyTypeObject*>(found.get()),
                     reinterpret_cast<PyTypeObject*>(reference.get()), spec)) {
        PyErr_Format(PyExc_TypeError,
                     "Shared compiled type %.200s has an incompatible layout, try recompiling",
                     short_name);
        return nullptr;
    }
    return reinterpret_cast<PyTypeObject*>(found.release());
}

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

PyType_Spec metatype_spec = {
    .name = "_compiled_3_2_4._shared_types_metatype",
    .basicsize = 0,
    .itemsize = 0,
    .flags = Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
    .slots = metatype_slots,
};

int check_shared_type(PyObject* candidate, const char* short_name,
                      Py_ssize_t expected_size) noexcept {
    if (!PyType_FastSubclass(Py_TYPE(candidate), Py_TPFLAGS_TYPE_SUBCLASS)) {
        PyErr_Format(PyExc_TypeError, "Shared compiled type %.200s is not a type object",
                     short_name);
        return -1;
    }
    if (expected_size != 0 &&
        reinterpret_cast<PyTypeObject*>(candidate)->tp_basicsize != expected_size) {
        PyErr_Format(PyExc_TypeError,
                     "Shared compiled type %.200s has the wrong size, try recompiling",
                     short_name);
        return -1;
    }
    return 0;
}

PyTypeObject* fetch_shared_type(PyTypeObject* metaclass, PyType_Spec* spec,
                                PyObject* bases) noexcept {
    const char* short_name = short_type_name(spec->name);
    Ref key = Ref::steal(PyUnicode_FromString(short_name));
    if (!key) {
        return nullptr;
    }
    Ref registry = Ref::borrow(PyImport_AddModule(registry_module_name));
    if (!registry) {
        return nullptr;
    }
    PyObject* registry_dict = PyModule_GetDict(registry.get());
    if (registry_dict == nullptr) {
        return nullptr;
    }
    Ref found = Ref::borrow(PyDict_GetItemWithError(registry_dict, key.get()));
    if (found) {
        return accept_found_type(std::move(found), short_name, metaclass, registry.get(), spec,
                                 bases, Ref());
    }
    if (PyErr_Occurred()) {
        return nullptr;
    }
    Ref created = Ref::steal(new_type(metaclass, registry.get(), spec, bases));
    if (!created) {
        return nullptr;
    }
    PyObject* entry;
    if (dict_setdefault_ref(registry_dict, key.get(), created.get(), &entry) < 0) {
        return nullptr;
    }
    Ref stored = Ref::steal(entry);
    // Another module may have registered the type first; its type wins.
    if (stored.get() != created.get()) {
        return accept_found_type(std::move(stored), short_name, metaclass, registry.get(), spec,
                                 bases, std::move(created));
    }
    return reinterpret_cast<PyTypeObject*>(stored.release());
}

int fetch_function_types(PyTypeObject** metatype, PyTypeObject** function_type) noexcept {
    Ref bases = Ref::steal(PyTuple_Pack(1, reinterpret_cast<PyObject*>(&PyType_Type)));
    if (!bases) {
        return -1;
    }
    PyTypeObject* meta = fetch_shared_type(nullptr, &metatype_spec, bases.get());
    if (meta == nullptr || PyErr_Occurred()) {
        Py_XDECREF(meta);
        return -1;
    }
    PyTypeObject* type = fetch_shared_type(meta, &function_type_spec, nullptr);
    if (type == nullptr) {
        Py_DECREF(meta);
        return -1;
    }
    *metatype = meta;
    *function_type = type;
    return 0;
}

PyObject* function_new(PyTypeObject* type, PyMethodDef* def, PyObject* qualname,
                       PyObject* module, PyObject* globals, PyObject* code, PyObject* defaults,
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
    switch (def->ml_flags & (METH_VARARGS | METH_KEYWORDS | METH_NOARGS | METH_O |
                             METH_FASTCALL | METH_METHOD)) {
        case METH_VARARGS | METH_KEYWORDS:
            entry = nullptr;  // calls go through the tuple call
            break;
        case METH_NOARGS:
            entry = function_vectorcall_noargs;
            break;
        case METH_O:
            entry = function_vectorcall_o;
            break;
        case METH_FASTCALL | METH_KEYWORDS:
            entry = function_vectorcall_fastcall_keywords;
            break;
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

[[gnu::cold, gnu::noinline]] PyObject* raise_needs_argument(PyObject* self) noexcept {
    PyErr_Format(PyExc_TypeError, "%.200s() %s", method_def(self)->ml_name,
                 "needs an argument");
    return nullptr;
}

PyObject* function_vectorcall_fastcall_keywords(PyObject* self, PyObject* const* args,
                                                size_t nargsf, PyObject* kwnames) noexcept {
    Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    PyObject* receiver;
    if (!take_receiver(self, args, nargs, receiver)) {
        return nullptr;
    }
    auto entry = reinterpret_cast<PyCFunctionFastWithKeywords>(
        reinterpret_cast<void (*)(void)>(method_def(self)->ml_meth));
    return call_guarded(self, [&]() noexcept { return entry(receiver, args, nargs, kwnames); });
}

}  // namespace runtime
