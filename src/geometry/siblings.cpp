// The sibling modules that the function bodies reach through module-level
// names: `constants` (for pi) and `algebra` (for sqrt), imported at start-up
// as the source's two import statements do.
#include "module_state.h"
#include "runtime/imports.h"
#include "runtime/ref.h"

namespace geometry {

using runtime::Ref;

// constants = <package>.constants, by a relative import of level 1.
int import_constants() noexcept {
    PyObject* fromlist[] = {pool(POOL_CONSTANTS)};
    Ref package = Ref::steal(runtime::import_module(
        pool(POOL_EMPTY), fromlist, 1, pool(POOL_PACKAGE_PREFIX), state.module_dict, 1));
    if (!package) {
        return -1;
    }
    Ref constants = Ref::steal(runtime::import_from(package.get(), pool(POOL_CONSTANTS)));
    if (!constants) {
        return -1;
    }
    return PyDict_SetItem(state.module_dict, pool(POOL_CONSTANTS), constants.get());
}

// algebra = quorvel.algebra.algebra, reached from the top-level package.
int import_algebra() noexcept {
    Ref package = Ref::steal(runtime::import_module(pool(POOL_ALGEBRA_MODULE), nullptr, 0, nullptr,
                                                    state.module_dict, 0));
    if (!package) {
        return -1;
    }
    Ref subpackage = Ref::steal(runtime::import_from(package.get(), pool(POOL_ALGEBRA)));
    if (!subpackage) {
        return -1;
    }
    Ref algebra = Ref::steal(runtime::import_from(subpackage.get(), pool(POOL_ALGEBRA)));
    if (!algebra) {
        return -1;
    }
    return PyDict_SetItem(state.module_dict, pool(POOL_ALGEBRA), algebra.get());
}

}  // namespace geometry
