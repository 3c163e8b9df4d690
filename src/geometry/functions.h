// The definitions of the module's eight functions, in publication order:
// sin, cosin, tan, _tan_rad, arctan, arctan2, arcsin, arccos.
#pragma once

#include <Python.h>

#include "geometry/module_state.h"

namespace geometry {

extern PyMethodDef function_defs[function_count];

}  // namespace geometry
