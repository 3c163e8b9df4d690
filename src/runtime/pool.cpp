// Constant pool expansion through the interpreter's own zlib module, and the
// code objects that give compiled functions their __code__.
#include "runtime/pool.h"

#include <opcode.h>
#include <cstring>

#include "runtime/compat.h"
#include "runtime/ref.h"

namespace runtime {

namespace {

// The uncompressed block, or null with an exception set.
PyObject* decompress_block(const PoolLayout& layout, Py_ssize_t expected_size) noexcept {
    Ref decompress_name = Ref::steal(PyUnicode_FromString("decompress"));
    if (!decompress_name) {
        return nullptr;
    }
    Ref zlib = Ref::steal(PyImport_ImportModule("zlib"));
    Ref decompress =
        Ref::steal(zlib ? PyObject_GetAttr(zlib.get(), decompress_name.get()) : nullptr);
    if (!decompress) {
        PyErr_Format(PyExc_ImportError,
                     "Failed to import '%.20s.decompress' - cannot initialise module strings. "
                     "String compression was configured with the C macro "
                     "'RUNTIME_COMPRESS_STRINGS=%d'.",
                     "zlib", 1);
        return nullptr;
    }
    Ref view = Ref::steal(
        PyMemoryView_FromMemory(reinterpret_cast<char*>(const_cast<unsigned char*>(layout.block)),
                                layout.block_size, PyBUF_READ));
    if (!view) {
        return nullptr;
    }
    Ref block = Ref::steal(PyObject_CallOneArg(decompress.get(), view.get()));
    if (!block) {
        return nullptr;
    }
    // The entries are sliced out of the block by length: anything but bytes
    // of exactly the expected size would be read past its end.
    if (!PyBytes_CheckExact(block.get()) || PyBytes_GET_SIZE(block.get()) != expected_size) {
        PyErr_Format(PyExc_ImportError,
                     "Failed to initialise module strings: 'zlib.decompress' returned %.100s "
                     "instead of %zd bytes.",
                     Py_TYPE(block.get())->tp_name, expected_size);
        return nullptr;
    }
    return block.release();
}

// The first two code units: deleting local 0 twice raises UnboundLocalError
// on the second deletion whatever the caller passed, where re-raising
// (RAISE_VARARGS 0) would raise the exception being handled inside an
// except block.  A code object without locals can only re-raise.
void write_raising_prologue(char* units, int local_count) noexcept {
    if (local_count > 0) {
        const unsigned char prologue[] = {DELETE_FAST, 0, DELETE_FAST, 0};
        std::memcpy(units, prologue, sizeof prologue);
    } else {
        const unsigned char prologue[] = {RAISE_VARARGS, 0};
        std::memcpy(units, prologue, sizeof prologue);
    }
}

}  // namespace

int expand_pool(const PoolLayout& layout, PyObject** entries) noexcept {
    Py_ssize_t total = 0;
    for (int i = 0; i < layout.entry_count; ++i) {
        total += layout.lengths[i];
    }
    Ref block = Ref::steal(decompress_block(layout, total));
    if (!block) {
        return -1;
    }
    const char* data = PyBytes_AS_STRING(block.get());
    Py_ssize_t offset = 0;
    for (int i = 0; i < layout.entry_count; ++i) {
        Py_ssize_t length = layout.lengths[i];
        PyObject* entry;
        if (i < layout.first_bytes) {
            entry = PyUnicode_DecodeUTF8(data + offset, length, nullptr);
            if (entry != nullptr && i >= layout.first_interned) {
                PyUnicode_InternInPlace(&entry);
            }
        } else {
            entry = PyBytes_FromStringAndSize(data + offset, length);
        }
        if (entry == nullptr) {
            return -1;
        }
        Py_XSETREF(entries[i], entry);
        offset += length;
    }
    block = Ref();
    // Hash once now, so that lookups with these names never hash again.
    for (int i = 0; i < layout.entry_count; ++i) {
        if (PyObject_Hash(entries[i]) == -1) {
            return -1;
        }
    }
    return 0;
}

PyObject* build_code(std::uint32_t descriptor, PyObject* const* local_names, PyObject* file_name,
                     PyObject* name, PyObject* line_table, const CodeShared& shared) noexcept {
    const CodeDescriptor d = decode_descriptor(descriptor);
    Ref locals = Ref::steal(PyTuple_New(d.local_count));
    if (!locals) {
        return nullptr;
    }
    for (int i = 0; i < d.local_count; ++i) {
        PyTuple_SET_ITEM(locals.get(), i, Py_NewRef(local_names[i]));
    }
    PyObject* stored;
    if (dict_setdefault_ref(shared.varnames_dedup, locals.get(), locals.get(), &stored) < 0) {
        return nullptr;
    }
    Ref varnames = Ref::steal(stored);
    Ref instructions;
    if (line_table != nullptr) {
        // Room for the code units that the line table describes.  Nothing is
        // meant to run them, but Python code can (types.FunctionType(code, {})),
        // so they open with instructions that raise at once and touch no stack.
        Py_ssize_t size = (2 * PyBytes_GET_SIZE(line_table) + 4) & ~static_cast<Py_ssize_t>(3);
        instructions = Ref::steal(PyBytes_FromStringAndSize(nullptr, size));
        if (!instructions) {
            return nullptr;
        }
        char* units = PyBytes_AS_STRING(instructions.get());
        std::memset(units, 0, static_cast<size_t>(size));
        write_raising_prologue(units, d.local_count);
    } else {
        instructions = Ref::borrow(shared.empty_bytes);
    }
    PyCodeObject* code = PyUnstable_Code_NewWithPosOnlyArgs(
        d.argument_count, d.positional_only_count, d.keyword_only_count, d.local_count, 0, d.flags,
        instructions.get(), shared.empty_tuple, shared.empty_tuple, varnames.get(),
        shared.empty_tuple, shared.empty_tuple, file_name, name, name, d.first_line,
        line_table ? line_table : shared.empty_bytes, shared.empty_bytes);
    if (code != nullptr) {
        code->_co_firsttraceable = 0;
    }
    return reinterpret_cast<PyObject*>(code);
}

}  // namespace runtime
