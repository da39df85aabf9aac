// The kinds of verdict and what each report calls them: one row a kind, so
// that no report decides on its own.
#ifndef SUITE_KINDS_H
#define SUITE_KINDS_H

#include "contract.h"

// How TAP and JUnit count a kind: passed, failed, or skipped.
enum class Count { passed, failed, skipped };

struct Kind {
    Fault fault;
    const char *words; // the short verdict, as a cell of a table shows it
    const char *junit; // the failure's type; empty where there is no failure
    const char *lit;   // lit's result code
    Count count;
};

const Kind &kind(Fault f);

#endif
