// Setting a frame's line number needs the interpreter's internal frame
// layout; only frame_line.c sees those headers.
#pragma once

#include <Python.h>

#ifdef __cplusplus
extern "C" {
#endif

void runtime_set_frame_line(PyFrameObject* frame, int line);

#ifdef __cplusplus
}
#endif
