// The trap alone: one line, then status 0.
#include "io.h"

int main()
{
    neg_idx_except();
}
