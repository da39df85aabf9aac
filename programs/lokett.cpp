// A local of main passed by value to a function that prints it.
#include "io.h"

void test(int a)
{
    output(a);
}

int main()
{
    int n = 10;

    test(n);
}
