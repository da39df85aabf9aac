// Two early returns inside nested branches, neither taken, then a global
// one-element array handed to a function that prints its element.
#include "guard.h"

int x[1];

int call(int *a)
{
    output(elem(a, 0));
    return 0;
}

int main()
{
    int n = 0;

    if (1) {
        if (n > 3) {
            n = 1;
            return 0;
        }
        n = 3;
    } else {
        n = 4;
        return 0;
    }
    elem(x, 0) = n;
    call(x);
}
