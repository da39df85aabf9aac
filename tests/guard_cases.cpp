// The index guard, driven from the command line so that each index is known
// only at run time:
//   guard_cases store I      a[I] = 7, then print both elements
//   guard_cases rhs I        a[I] = (a right-hand side that prints 99 and yields 1)
//   guard_cases index F      print the index that the float F becomes
//   guard_cases read F       print a[F]
#include <cstdlib>
#include <cstring>

#include "guard.h"

static int prints_99()
{
    output(99);
    return 1;
}

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    const char *what = argv[1];
    int i = static_cast<int>(std::strtol(argv[2], nullptr, 10));
    float f = std::strtof(argv[2], nullptr);
    int a[3] = {10, 11, 12};

    if (std::strcmp(what, "store") == 0) {
        elem(a, i) = 7;
        output(a[0]);
        output(a[1]);
    } else if (std::strcmp(what, "rhs") == 0) {
        int &t = elem(a, i);
        t = prints_99();
        output(a[0]);
    } else if (std::strcmp(what, "index") == 0) {
        output(float_index(f));
    } else if (std::strcmp(what, "read") == 0) {
        output(elem(a, float_index(f)));
    } else {
        return 2;
    }
    return 0;
}
