// Running the programs of a check, up to a number of them at once.
//
// suite starts a keeper process for each place, even for one: a keeper runs
// the programs it is given one after another and hands back what each run
// did through memory it shares with suite.  A keeper is the subreaper of its
// program alone, so that whatever the program leaves running is found and
// counted against it; suite is the subreaper of the keepers, so that nothing
// of a keeper that a program kills escapes it; and a keeper ends its program
// when suite ends, however suite ends.
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
