// Each call's result fed straight into the next call, four deep.
#include "io.h"

int addone(int a)
{
    return a + 1;
}

int main()
{
    int r = addone(addone(addone(addone(1230))));

    output(r);
}
