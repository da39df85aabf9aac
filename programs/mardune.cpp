// Globals rewritten by a function called 200,000,000 times.  The loop is
// written out in full; an optimised build may shorten it, a -O0 build makes
// every call.
#include "io.h"

int opa;
int opb;
int opc;
int opd;

int max()
{
    opa = 0;
    opb = 40320;
    opc = 362880;
    opd = 1814400;
    if (opb < opc) {
        if (opc < opd)
            return opd;
    }
    return 0;
}

int main()
{
    int i = 0;

    while (i < 200000000) {
        max();
        i = i + 1;
    }
    output(opa);
    output(opb);
    output(opc);
    output(opd);
}
