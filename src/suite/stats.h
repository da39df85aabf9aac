// The statistics of repeated runs: medians and spreads of a cell's samples,
// and whether two cells' samples differ for real.
#ifndef SUITE_STATS_H
#define SUITE_STATS_H

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

// The q-quantile of sorted values, interpolated between the two nearest as
// NumPy's default does; the median is q = 0.5.
double quantile(std::span<const double> sorted, double q);
double median(std::vector<double> values);

// The two-sided p-value of the Mann-Whitney U test of "x and y come from the
// same distribution": the normal approximation with the correction for ties
// and the continuity correction.
double mann_whitney_p(std::span<const double> x, std::span<const double> y);

// Fewer runs than this on either side and the test cannot tell.
constexpr std::size_t fewest_runs = 5;
// A difference counts as real when the test rejects at this level, shared
// by a family of comparisons (a build's, against the reference) so that the
// chance of any false alarm in the family stays below it: each is tested at
// alpha over the family's size (Bonferroni)...
constexpr double alpha = 0.05;
// ...and the medians differ by at least the minimum effect, as a fraction of
// the reference's median.  The default, from A/A checks on a shared machine.
constexpr double default_min_effect = 0.10;

enum class Difference { higher, lower, same, too_few };

struct Comparison {
    std::optional<double> ratio; // the other's median over the reference's; none when that is 0 alone
    std::optional<double> p;     // none with too few runs
    Difference verdict = Difference::too_few;
};

// The smallest p-value that samples of these sizes can have: wholly apart.
double smallest_p(std::size_t n1, std::size_t n2);

// The fewest runs a side with which a comparison in a family of this size
// can tell a difference.
std::size_t runs_to_tell(std::size_t family);

// Compares one of a family of comparisons.  Too few runs when either side
// has fewer than fewest_runs, or when even samples wholly apart could not
// reach the family's level.
Comparison compare(std::span<const double> reference, std::span<const double> other, double min_effect,
                   std::size_t family = 1);

#endif
