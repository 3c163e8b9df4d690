// The module's eight functions, one row each, in publication order.
#pragma once

#include "function_table.h"

namespace geometry {

inline constexpr FunctionRow function_rows[function_count] = {
    {.name = POOL_SIN,
     .def_line = 6,
     .argument_count = 1,
     .required_count = 1,
     .locals = {POOL_ANGLE, POOL_SIGN, POOL_X, POOL_TERM, POOL_TOL, POOL_RESULT, POOL_I},
     .annotations = {{POOL_ANGLE, POOL_INT_OR_FLOAT}},
     .line_table = POOL_LINES_SIN,
     .called_by_name = true,
     .doc = "[Summary]: Return the sine of an angle given in degrees.\n\n"
            "    [Description]: Normalizes the angle, converts it to radians, and evaluates a\n"
            "    Taylor series approximation until the current term becomes sufficiently\n"
            "    small.\n\n"
            "    [Usage]: Typical usage example:\n\n"
            "        result = sin(30)\n"
            "        print(result)\n"
            "    "},
    {.name = POOL_COSIN,
     .def_line = 45,
     .argument_count = 1,
     .required_count = 1,
     .locals = {POOL_ANGLE, POOL_COSINE},
     .annotations = {{POOL_ANGLE, POOL_INT_OR_FLOAT}},
     .line_table = POOL_LINES_COSIN,
     .called_by_name = true,
     .doc = "[Summary]: Return the cosine of an angle given in degrees.\n\n"
            "    [Description]: Normalizes the angle and derives the cosine value from the\n"
            "    sine result while correcting the sign according to the quadrant.\n\n"
            "    [Usage]: Typical usage example:\n\n"
            "        result = cosin(60)\n"
            "        print(result)\n"
            "    "},
    {.name = POOL_TAN,
     .def_line = 65,
     .argument_count = 1,
     .required_count = 1,
     .locals = {POOL_ANGLE},
     .annotations = {{POOL_ANGLE, POOL_INT_OR_FLOAT}},
     .line_table = POOL_LINES_TAN,
     .doc = "[Summary]: Return the tangent of an angle given in degrees.\n\n"
            "    [Description]: Computes tangent as the quotient of the module's sine and\n"
            "    cosine helper functions.\n\n"
            "    [Usage]: Typical usage example:\n\n"
            "        result = tan(45)\n"
            "        print(result)\n"
            "    "},
    {.name = POOL_TAN_RAD,
     .def_line = 78,
     .argument_count = 1,
     .required_count = 1,
     .locals = {POOL_RAD},
     .annotations = {{POOL_RAD, POOL_FLOAT}},
     .line_table = POOL_LINES_TAN_RAD,
     .takes_double = true,
     .called_by_name = true},
    {.name = POOL_ARCTAN,
     .def_line = 84,
     .argument_count = 2,
     .required_count = 1,
     .default_value = 20,
     .locals = {POOL_X, POOL_ITER, POOL_THETA, POOL_UNDERSCORE},
     .annotations = {{POOL_X, POOL_FLOAT_OR_INT}},
     .line_table = POOL_LINES_ARCTAN,
     .called_by_name = true,
     .doc = "\n    [Summary]: Tests and explanation for the arctan() function.\n\n"
            "    [Description]:\n"
            "    This file contains notes and explanations for the custom `arctan()` function,\n"
            "    which computes the inverse tangent (arctangent) of a number or ratio. \n"
            "    The function returns the angle (in radians) whose tangent is the given input.\n"
            "    [Usage]:\n"
            "    - Call arctan(x) with a single float input to get the angle in radians.\n"
            "    - Can be used to convert a tangent ratio (opposite/adjacent) to an angle in "
            "triangles.\n"
            "    - Can be extended to degrees by multiplying result by 180/\u03c0.\n"
            "    "},
    {.name = POOL_ARCTAN2,
     .def_line = 112,
     .argument_count = 2,
     .required_count = 2,
     .locals = {POOL_X, POOL_Y},
     .annotations = {{POOL_X, POOL_FLOAT_OR_INT},
                     {POOL_Y, POOL_FLOAT_OR_INT},
                     {POOL_RETURN, POOL_FLOAT}},
     .line_table = POOL_LINES_ARCTAN2,
     .called_by_name = true,
     .doc = "[Summary]: Return the angle in radians between the positive x-axis and the\n"
            "    point (x, y), computed as a two-argument arctangent.\n\n"
            "    [Description]: Unlike arctan(y/x), arctan2 takes both the sign of y and x\n"
            "    into account to determine the correct quadrant of the resulting angle.\n"
            "    The return value is in the range (-\u03c0, \u03c0].\n\n"
            "    [Usage]: Typical usage example:\n\n"
            "        result = arctan2(1, 1)   # returns \u03c0/4 (first quadrant)\n"
            "        result = arctan2(1, -1)  # returns 3\u03c0/4 (second quadrant)\n"
            "        print(result)\n"
            "    "},
    {.name = POOL_ARCSIN,
     .def_line = 139,
     .argument_count = 1,
     .required_count = 1,
     .locals = {POOL_X, POOL_RESULT},
     .annotations = {{POOL_X, POOL_FLOAT_OR_INT}, {POOL_RETURN, POOL_FLOAT}},
     .line_table = POOL_LINES_ARCSIN,
     .called_by_name = true,
     .doc = "[Summary]: Return the arcsine of x in radians.\n\n"
            "    [Description]: Computes the inverse sine by delegating to arctan2 with\n"
            "    x and sqrt(1 - x\u00b2) as arguments, exploiting the identity\n"
            "    arcsin(x) = arctan2(x, sqrt(1 - x\u00b2)). Input must satisfy -1 <= x <= 1.\n\n"
            "    [Usage]: Typical usage example:\n\n"
            "        result = arcsin(0.5)\n"
            "        print(result)  # ~0.5236 (\u03c0/6)\n"
            "    "},
    {.name = POOL_ARCCOS,
     .def_line = 155,
     .argument_count = 1,
     .required_count = 1,
     .locals = {POOL_X, POOL_RESULT},
     .annotations = {{POOL_X, POOL_FLOAT_OR_INT}, {POOL_RETURN, POOL_FLOAT}},
     .line_table = POOL_LINES_ARCCOS,
     .doc = "[Summary]: Return the arccosine of x in radians.\n\n"
            "    [Description]: Derives the inverse cosine from arcsin using the\n"
            "    complementary-angle identity arccos(x) = \u03c0/2 - arcsin(x).\n"
            "    Input must satisfy -1 <= x <= 1; the result lies in [0, \u03c0].\n\n"
            "    [Usage]: Typical usage example:\n\n"
            "        result = arccos(0.5)\n"
            "        print(result)  # ~1.0472 (\u03c0/3)\n"
            "    "},
};

// The descriptor words of the eight code objects, as published: a wrong
// field in a row fails the build here.
static_assert(code_descriptor(function_rows[SIN]) == 786929);
static_assert(code_descriptor(function_rows[COSIN]) == 5898657);
static_assert(code_descriptor(function_rows[TAN]) == 8520081);
static_assert(code_descriptor(function_rows[TAN_RAD]) == 10224017);
static_assert(code_descriptor(function_rows[ARCTAN]) == 11010498);
static_assert(code_descriptor(function_rows[ARCTAN2]) == 14680482);
static_assert(code_descriptor(function_rows[ARCSIN]) == 18219425);
static_assert(code_descriptor(function_rows[ARCCOS]) == 20316577);

// The method definitions that the function objects are made from, in row
// order (wrappers.cpp).
extern PyMethodDef* const function_defs;

}  // namespace geometry
