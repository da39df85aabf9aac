#include "io.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

// "%d" straight into an int is undefined for a number outside the int range
// (glibc wraps it), so the number is read as "%d" would read it, piece by
// piece, and its magnitude is held at most one past INT_MAX.
int input(void)
{
    int a = 0;
    char sign[2] = "";
    char digits[10];
    long long magnitude = 0;
    const long long cap = INT_MAX + 1LL;

    (void)std::scanf(" ");
    (void)std::scanf("%1[+-]", sign);
    while (std::scanf("%9[0-9]", digits) == 1) {
        for (const char *d = digits; *d != '\0'; ++d) {
            magnitude = magnitude * 10 + (*d - '0');
            if (magnitude > cap)
                magnitude = cap;
        }
    }
    if (sign[0] == '-')
        a = magnitude == cap ? INT_MIN : static_cast<int>(-magnitude);
    else
        a = magnitude == cap ? INT_MAX : static_cast<int>(magnitude);
    return a;
}

void output(int a)
{
    (void)std::printf("%d\n", a);
}

void outputFloat(float a)
{
    (void)std::printf("%f\n", static_cast<double>(a));
}

void neg_idx_except(void)
{
    (void)std::puts("negative index exception");
    std::exit(0);
}
