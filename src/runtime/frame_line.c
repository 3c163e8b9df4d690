/* The one place that reads the interpreter's internal frame structure. */
#define Py_BUILD_CORE 1
#include <Python.h>
#include "internal/pycore_frame.h"

#include "frame_line.h"

void runtime_set_frame_line(PyFrameObject* frame, int line) { frame->f_lineno = line; }
