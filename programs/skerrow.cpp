// Stores through a fractional index, divides two elements and returns one.
#include "guard.h"

int main()
{
    int a[3];

    elem(a, 0) = 9;
    elem(a, float_index(1.8f)) = 2;

    // The target's guard first, then the operands left to right.
    int &q = elem(a, 2);
    int dividend = elem(a, 0);
    q = dividend / elem(a, 1);

    output(elem(a, 2));
    return elem(a, 0);
}
