// Element access through the index guard: a negative index ends the program
// in neg_idx_except before the element is touched.  Only the lower bound is
// checked; a constant index is decided by the compiler.
//
// The guard of an assignment's target must finish before the right-hand side
// starts, but in `elem(a, i) = rhs;` C++ evaluates rhs first.  So the target
// is taken in a statement of its own:
//     int &t = elem(a, i);
//     t = rhs;
#ifndef GUARD_H
#define GUARD_H

#include <climits>

#include "io.h"

inline int &elem(int *a, int i)
{
    if (i < 0)
        neg_idx_except();
    return a[i];
}

// A float index truncates toward zero.  NaN and values outside the int range,
// whose conversion C++ leaves undefined, become INT_MIN so that the guard traps.
inline int float_index(float f)
{
    if (f >= -2147483648.0f && f < 2147483648.0f)
        return static_cast<int>(f);
    return INT_MIN;
}

#endif
