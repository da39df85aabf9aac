// A local array handed on through two functions: both read main's element.
#include "guard.h"

void g(int *a)
{
    output(elem(a, 3));
}

void f(int *a)
{
    output(elem(a, 3));
    g(a);
}

int main()
{
    int a[10];

    elem(a, 3) = 1024;
    f(a);
}
