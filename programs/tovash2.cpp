// A return from inside a branch of main: the line 4 is never printed.
#include "io.h"

int main()
{
    int n = 10;

    if (n > 0) {
        output(n);
        return 0;
    }
    output(4);
}
