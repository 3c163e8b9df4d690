// The registry through which the extension modules of a process share one
// function type and its metatype: the module "_compiled_3_2_4" in
// sys.modules holds them, and the first module to start creates them.
#include "runtime/shared_types.h"

#include <cstring>
#include <utility>

#include "runtime/compat.h"
#include "runtime/function.h"
#include "runtime/ref.h"

namespace runtime {

namespace {

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
                     "Shared compiled type %.200s has the wrong size, try recompiling", short_name);
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

}  // namespace runtime
