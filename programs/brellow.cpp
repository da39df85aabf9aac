// One value chained into three variables, the rightmost stored first.
#include "io.h"

int main()
{
    int a;
    int b;
    int c;

    a = b = c = 3;
    output(a);
    output(b);
    output(c);
}
