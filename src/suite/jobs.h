// Running the programs of a check, up to a number of them at once.
//
// With one at a time, suite runs each program itself.  With more, it starts
// a keeper process for each place: a keeper runs the programs it is given one
// after another and hands back what each run did through memory it shares
// with suite.  Either way the process that starts a program is the
// subreaper of that program alone, so that whatever the program leaves
// running is found and counted against it and nothing else.
#ifndef SUITE_JOBS_H
#define SUITE_JOBS_H

#include <functional>
#include <string>
#include <vector>

#include "plan.h"
#include "run.h"

struct Outcome {
    int signal = 0;    // the stop signal that cut the check short
    std::string error; // suite's own failure that cut it short
};

// Runs the plan's steps in order, step i being launches[plan.cell(i)], up to
// jobs at once; calls finished(i, run) as each finishes, in any order, until
// all are done or stop_fd (the stop signals) becomes readable.  Programs that
// did not finish are not passed on.
Outcome run_all(const std::vector<Launch> &launches, const Plan &plan, int jobs, int stop_fd,
                const std::function<void(size_t, Run &&)> &finished);

#endif
