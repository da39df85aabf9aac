// Gathering a program's runs in one build into its cell: each run's kind and
// figures, the first failing run's verdict in full, and the cell's verdict
// and medians once its runs are in.  A run's output is judged and dropped as
// it comes, so a cell grows with its runs only by their figures.
#ifndef SUITE_CELL_H
#define SUITE_CELL_H

#include <array>
#include <cstddef>
#include <optional>
#include <vector>

#include "contract.h"
#include "run.h"
#include "stats.h"

// What is compared between builds, in the order the reports list them.
enum class Metric { wall_time, exec_time, peak_rss_kib };
constexpr std::array<Metric, 3> metrics = {Metric::wall_time, Metric::exec_time, Metric::peak_rss_kib};

// A run's figure for a metric: seconds, or KiB.
double value(const Figures &f, Metric m);

struct Sample {
    std::size_t run;                // counted from 0
    Fault fault;                    // none when the run passed
    std::optional<Figures> figures; // when the program started
};

struct Cell {
    std::vector<Sample> runs; // in the order of their numbers, whatever order they ended in
    std::size_t failures = 0;
    std::size_t first_failure = 0; // the number of the first failing run, when failures > 0
    Verdict failure;               // that run's verdict

    // Set by conclude.
    Verdict verdict;
    std::optional<Figures> median; // of the runs that started
    // Each metric's interquartile range over its median, indexed by Metric.
    std::array<double, metrics.size()> spread{};

    // Set by compare_cells, in a build that is not the reference and where
    // both cells passed; indexed by Metric.
    std::array<std::optional<Comparison>, metrics.size()> compared;
};

void add_run(Cell &c, std::size_t run, Verdict &&v, std::optional<Figures> figures);

// The cell's verdict, once its runs are in or the check stopped: passed when
// every one of the planned runs passed, flaky when some failed and some
// passed, not run when it was cut short before any failure.
void conclude(Cell &c, std::size_t planned);

// The samples of one metric, of the runs that started.
std::vector<double> samples(const Cell &c, Metric m);

// Sets other.compared from the two cells' samples, as comparisons of a
// family of the given size: all that a build's cells have with the
// reference's, every program and metric.
void compare_cells(const Cell &reference, Cell &other, double min_effect, std::size_t family);

#endif
