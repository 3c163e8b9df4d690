// Proof that the module-level bindings the function bodies read are those
// the machine path assumes, kept current by dict watchers.
#pragma once

#include <Python.h>

namespace geometry {

// What the machine path may take as fixed for the length of one call.
struct MachineBindings {
    double pi;  // constants.pi
};

// The bindings when they hold now: `constants` is a module whose `pi` is an
// exact float, `algebra` a module whose `sqrt` is the interpreter's
// math.sqrt, and every function name that a body looks up holds the
// module's own function object, each found in the module's dictionary.
// Null when they do not hold or cannot be proven (no dict watcher left,
// keys that are not strs).  A change to any of those dictionaries is seen
// by the next call.  Raises nothing.
inline const MachineBindings* machine_bindings() noexcept;

// Whether the bindings returned last still hold (nothing has changed them
// since).  For the machine path after anything that may have run code.
inline bool machine_bindings_hold() noexcept;

namespace bindings_detail {

enum class Check { stale, holds, fails };

// The outcome of the last check and what it found; the dict watcher marks
// it stale.
struct Watched {
    Check check = Check::stale;
    MachineBindings bindings{};
};

extern Watched watched;

// Runs the check again after a change.
const MachineBindings* recheck() noexcept;

}  // namespace bindings_detail

inline const MachineBindings* machine_bindings() noexcept {
    using namespace bindings_detail;
    if (watched.check == Check::holds) {
        return &watched.bindings;
    }
    return watched.check == Check::stale ? recheck() : nullptr;
}

inline bool machine_bindings_hold() noexcept {
    return bindings_detail::watched.check == bindings_detail::Check::holds;
}

}  // namespace geometry
