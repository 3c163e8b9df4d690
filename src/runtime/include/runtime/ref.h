// Owning reference to an interpreter object: every temporary in the runtime
// and in module bodies is held by one of these, so no path can leak it.
#pragma once

#include <Python.h>

namespace runtime {

class Ref {
public:
    Ref() noexcept = default;
    // Adopt a reference the caller already owns (a new reference, or null).
    static Ref steal(PyObject* object) noexcept { return Ref(object); }
    // Take a reference of our own to a borrowed object (null allowed).
    static Ref borrow(PyObject* object) noexcept {
        Py_XINCREF(object);
        return Ref(object);
    }

    Ref(const Ref& other) noexcept : object_(other.object_) { Py_XINCREF(object_); }
    Ref(Ref&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
    Ref& operator=(Ref other) noexcept {
        PyObject* old = object_;
        object_ = other.object_;
        other.object_ = old;
        return *this;
    }
    ~Ref() { Py_XDECREF(object_); }

    PyObject* get() const noexcept { return object_; }
    // Hand the reference to the caller; this Ref is left empty.
    PyObject* release() noexcept {
        PyObject* object = object_;
        object_ = nullptr;
        return object;
    }
    explicit operator bool() const noexcept { return object_ != nullptr; }

private:
    explicit Ref(PyObject* object) noexcept : object_(object) {}
    PyObject* object_ = nullptr;
};

}  // namespace runtime
