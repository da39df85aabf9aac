/* mardune's contract, after a busy loop of LOOPS steps: a program whose
 * cost can be made a known amount larger, for checking that suite tells a
 * real slowdown from noise. */
#include <stdio.h>

#ifndef LOOPS
#define LOOPS 100000000UL
#endif

int main(void)
{
    volatile unsigned long n = 0;
    for (unsigned long i = 0; i < LOOPS; ++i)
        n = n + 1;
    printf("0\n40320\n362880\n1814400\n");
    return 0;
}
