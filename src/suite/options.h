// The command line.
#ifndef SUITE_OPTIONS_H
#define SUITE_OPTIONS_H

#include <string>
#include <vector>

#include "plan.h"
#include "stats.h"

struct Options {
    Plan plan;
    double limit = 10;
    int jobs = 0; // 0: as many as there are processors to run on
    double min_effect = default_min_effect;
    std::string runner_text;
    std::vector<std::string> runner;
    std::string junit;
    std::string json;
    std::string markdown;
    std::string html;
    bool tap = false;
    bool list = false;
};

// Fills o from the command line.  Returns -1 to go on, or the status to exit
// with: 0 once --help or --list is printed (not yet flushed), 2 once a bad
// command line is reported.
int parse_options(int argc, char **argv, Options &o);

#endif
