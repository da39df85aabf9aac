// The plan of a check: builds × programs × runs, and the order they run in.
#ifndef SUITE_PLAN_H
#define SUITE_PLAN_H

#include <cstddef>
#include <string>
#include <vector>

#include "contract.h"

struct Build {
    std::string label; // what every report calls it
    std::string dir;   // as given, no trailing slash
};

// The runs are interleaved: every (program, build) runs once before any runs
// a second time, so that a drift of the machine's speed falls on every build
// alike.  Cell c is program c / builds.size() of build c % builds.size().
// Step i is run i / cells() of a cell: each round takes the programs in
// turn, and a program's builds in an order shuffled anew for each round and
// program, the same in every check, so that no build keeps to one place
// among the jobs nor always follows the same other build, whose cost (a
// sanitizer's large memory, say) could fall on the next program started.
struct Plan {
    std::vector<Build> builds;
    std::size_t reference = 0; // the build the others are compared with
    std::vector<const Contract *> programs;
    int repeat = 1;

    std::size_t cells() const { return builds.size() * programs.size(); }
    std::size_t steps() const { return cells() * static_cast<std::size_t>(repeat); }
    std::size_t round(std::size_t step) const { return step / cells(); }
    std::size_t cell(std::size_t step) const;
};

// The default label of each folder, given as absolute paths without a
// trailing slash: the shortest trailing part of its path, a trailing "bin"
// dropped, that tells it from every other.
std::vector<std::string> default_labels(const std::vector<std::string> &paths);

#endif
