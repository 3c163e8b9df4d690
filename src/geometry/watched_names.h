// The module-level names that the function bodies read, proven to hold what
// the machine path assumes and kept current by dict watchers.
#pragma once

#include <Python.h>

namespace geometry {

// What the machine path may take as fixed for the length of one call.
struct WatchedNames {
    double pi;  // constants.pi
};

// The names' values when they hold now: `constants` is a module whose `pi` is an
// exact float, `algebra` a module whose `sqrt` is the interpreter's
// math.sqrt, and every function name that a body looks up holds the
// module's own function object, each found in the module's dictionary.
// Null when they do not hold or cannot be proven (no dict watcher left,
// keys that are not strs).  A change to any of those dictionaries is seen
// by the next call.  Raises nothing.
inline const WatchedNames* watched_names() noexcept;

namespace watched_detail {

enum class Check { stale, holds, fails };

// The outcome of the last check and what it found; the dict watcher marks
// it stale.
struct Watched {
    Check check = Check::stale;
    WatchedNames names{};
};

extern Watched watched;

// Runs the check again after a change.
const WatchedNames* recheck() noexcept;

}  // namespace watched_detail

inline const WatchedNames* watched_names() noexcept {
    using namespace watched_detail;
    if (watched.check == Check::holds) {
        return &watched.names;
    }
    return watched.check == Check::stale ? recheck() : nullptr;
}

}  // namespace geometry
