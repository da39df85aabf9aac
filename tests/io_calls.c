/* The output routines and the trap, called from C. */
#include <limits.h>

#include "io.h"

int main(void)
{
    output(0);
    output(-5);
    output(INT_MIN);
    output(INT_MAX);
    outputFloat(1.8f);
    outputFloat(0.5f);
    outputFloat(-0.25f);
    neg_idx_except();
    output(1); /* never runs */
}
