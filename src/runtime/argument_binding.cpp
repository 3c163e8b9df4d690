// Argument binding for compiled functions: positional counts, keyword names
// matched first by identity with the interned parameter names, then by
// content, and the interpreter's TypeError messages for every wrong call.
#include "runtime/argument_binding.h"

#include <cstring>

namespace runtime {

namespace {

[[gnu::cold, gnu::noinline]] int raise_count(const char* name, const char* word, Py_ssize_t count,
                                             Py_ssize_t given) noexcept {
    PyErr_Format(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)",
                 name, word, count, count == 1 ? "" : "s", given);
    return -1;
}

// The message for a positional count outside [R, P].
[[gnu::cold, gnu::noinline]] int raise_positional_count(const Signature& s,
                                                        Py_ssize_t given) noexcept {
    if (s.required_count == s.parameter_count) {
        return raise_count(s.name, "exactly", s.required_count, given);
    }
    if (given < s.required_count) {
        return raise_count(s.name, "at least", s.required_count, given);
    }
    return raise_count(s.name, "at most", s.parameter_count, given);
}

[[gnu::cold, gnu::noinline]] int raise_multiple_values(const char* name, PyObject* key) noexcept {
    PyErr_Format(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'", name, key);
    return -1;
}

bool same_text(PyObject* name, PyObject* key, Py_hash_t key_hash) noexcept {
    if (reinterpret_cast<PyASCIIObject*>(name)->hash != key_hash) {
        return false;
    }
    Py_ssize_t length = PyUnicode_GET_LENGTH(key);
    int kind = PyUnicode_KIND(key);
    return PyUnicode_GET_LENGTH(name) == length && PyUnicode_KIND(name) == kind &&
           std::memcmp(PyUnicode_DATA(name), PyUnicode_DATA(key),
                       static_cast<size_t>(length) * static_cast<size_t>(kind)) == 0;
}

// Keys of a str subclass are compared with the interpreter's equality.
int match_keyword_subclass(PyObject* key, PyObject* const* const* names, Py_ssize_t start,
                           Py_ssize_t* index, const char* function_name) noexcept {
    for (Py_ssize_t i = start; names[i] != nullptr; ++i) {
        int equal = PyObject_RichCompareBool(*names[i], key, Py_EQ);
        if (equal != 0) {
            *index = i;
            return equal;
        }
    }
    for (Py_ssize_t i = 0; i < start && names[i] != nullptr; ++i) {
        int equal = PyObject_RichCompareBool(*names[i], key, Py_EQ);
        if (equal > 0) {
            return raise_multiple_values(function_name, key);
        }
        if (equal < 0) {
            return -1;
        }
    }
    return 0;
}

[[gnu::cold, gnu::noinline]] int raise_not_strings(const char* name) noexcept {
    PyErr_Format(PyExc_TypeError, "%.200s() keywords must be strings", name);
    return -1;
}

[[gnu::cold, gnu::noinline]] int raise_unexpected(const char* name, PyObject* key) noexcept {
    PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", name, key);
    return -1;
}

}  // namespace

int match_keyword(PyObject* key, PyObject* const* const* names, Py_ssize_t start, Py_ssize_t* index,
                  const char* function_name) noexcept {
    Py_hash_t hash = reinterpret_cast<PyASCIIObject*>(key)->hash;
    if (hash == -1) {
        hash = PyObject_Hash(key);
        if (hash == -1) {
            return -1;
        }
    }
    for (Py_ssize_t i = start; names[i] != nullptr; ++i) {
        if (same_text(*names[i], key, hash)) {
            *index = i;
            return 1;
        }
    }
    for (Py_ssize_t i = 0; i < start && names[i] != nullptr; ++i) {
        if (same_text(*names[i], key, hash)) {
            return raise_multiple_values(function_name, key);
        }
    }
    return 0;
}

int bind_keywords(PyObject* kwnames, PyObject* const* kwvalues, PyObject* const* const* names,
                  Ref* slots, Py_ssize_t nargs, Py_ssize_t nkw,
                  const char* function_name) noexcept {
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, k);
        Py_ssize_t index = -1;
        for (Py_ssize_t i = nargs; names[i] != nullptr; ++i) {
            if (*names[i] == key) {
                index = i;
                break;
            }
        }
        if (index < 0) {
            int found;
            if (PyUnicode_CheckExact(key)) {
                found = match_keyword(key, names, nargs, &index, function_name);
            } else if (PyUnicode_Check(key)) {
                found = match_keyword_subclass(key, names, nargs, &index, function_name);
            } else {
                return raise_not_strings(function_name);
            }
            if (found < 0) {
                return -1;
            }
            if (found == 0) {
                return raise_unexpected(function_name, key);
            }
        }
        // A native caller can name one parameter twice; the first value stands
        // and the call is refused, as the interpreter refuses it.
        if (slots[index]) {
            return raise_multiple_values(function_name, key);
        }
        slots[index] = Ref::borrow(kwvalues[k]);
    }
    return 0;
}

int bind_arguments(const Signature& s, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   Ref* slots) noexcept {
    Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    if (nkw == 0) {
        if (nargs < s.required_count || nargs > s.parameter_count) {
            return raise_positional_count(s, nargs);
        }
    } else if (nargs > s.parameter_count) {
        return raise_positional_count(s, nargs);
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) {
        slots[i] = Ref::borrow(args[i]);
    }
    if (nkw != 0 &&
        bind_keywords(kwnames, args + nargs, s.parameter_names, slots, nargs, nkw, s.name) < 0) {
        return -1;
    }
    for (Py_ssize_t i = nargs; i < s.parameter_count; ++i) {
        if (!slots[i] && s.defaults != nullptr && s.defaults[i] != nullptr) {
            slots[i] = Ref::borrow(*s.defaults[i]);
        }
    }
    if (nkw != 0) {
        for (Py_ssize_t i = nargs; i < s.required_count; ++i) {
            if (!slots[i]) {
                return s.required_count == s.parameter_count
                           ? raise_count(s.name, "exactly", s.required_count, i)
                           : raise_count(s.name, "at least", s.required_count, i);
            }
        }
    }
    return 0;
}

}  // namespace runtime
