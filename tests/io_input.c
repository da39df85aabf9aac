/* Reads three integers and writes each as a line. */
#include "io.h"

int main(void)
{
    int a = input();
    int b = input();
    int c = input();
    output(a);
    output(b);
    output(c);
}
