#include "stats.h"

#include <algorithm>
#include <cmath>

double quantile(std::span<const double> sorted, double q)
{
    if (sorted.empty())
        return 0;
    double at = q * static_cast<double>(sorted.size() - 1);
    auto below = static_cast<std::size_t>(std::floor(at));
    std::size_t above = std::min(below + 1, sorted.size() - 1);
    double f = at - static_cast<double>(below);
    return sorted[below] + (sorted[above] - sorted[below]) * f;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return quantile(values, 0.5);
}

double mann_whitney_p(std::span<const double> x, std::span<const double> y)
{
    const double n1 = static_cast<double>(x.size());
    const double n2 = static_cast<double>(y.size());
    const double n = n1 + n2;
    if (x.empty() || y.empty())
        return 1;
    // Ranks of the pooled samples, ties given their mean rank.
    std::vector<std::pair<double, bool>> pooled; // value, from x
    pooled.reserve(x.size() + y.size());
    for (double v : x)
        pooled.emplace_back(v, true);
    for (double v : y)
        pooled.emplace_back(v, false);
    std::sort(pooled.begin(), pooled.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    double rank_sum_x = 0;
    double ties = 0; // the sum of t^3 - t over groups of t equal values
    for (std::size_t i = 0; i < pooled.size();) {
        std::size_t j = i;
        while (j < pooled.size() && pooled[j].first == pooled[i].first)
            ++j;
        const double t = static_cast<double>(j - i);
        const double rank = (static_cast<double>(i + 1) + static_cast<double>(j)) / 2;
        for (std::size_t k = i; k < j; ++k)
            if (pooled[k].second)
                rank_sum_x += rank;
        ties += t * t * t - t;
        i = j;
    }
    const double u1 = rank_sum_x - n1 * (n1 + 1) / 2;
    const double u = std::max(u1, n1 * n2 - u1);
    const double mean = n1 * n2 / 2;
    const double sd = std::sqrt(n1 * n2 / 12 * ((n + 1) - ties / (n * (n - 1))));
    if (!(sd > 0))
        return 1; // every value the same: nothing tells the samples apart
    const double z = (u - mean - 0.5) / sd;
    return std::clamp(std::erfc(z / std::sqrt(2.0)), 0.0, 1.0); // twice the normal's upper tail
}

double smallest_p(std::size_t n1, std::size_t n2)
{
    const auto a = static_cast<double>(n1);
    const auto b = static_cast<double>(n2);
    const double z = (a * b / 2 - 0.5) / std::sqrt(a * b * (a + b + 1) / 12);
    return std::erfc(z / std::sqrt(2.0));
}

std::size_t runs_to_tell(std::size_t family)
{
    const double level = alpha / static_cast<double>(std::max<std::size_t>(family, 1));
    std::size_t n = fewest_runs;
    while (smallest_p(n, n) >= level)
        ++n;
    return n;
}

Comparison compare(std::span<const double> reference, std::span<const double> other, double min_effect,
                   std::size_t family)
{
    const double level = alpha / static_cast<double>(std::max<std::size_t>(family, 1));
    Comparison c;
    const double ref = median({reference.begin(), reference.end()});
    const double got = median({other.begin(), other.end()});
    if (ref > 0)
        c.ratio = got / ref;
    else if (got == 0)
        c.ratio = 1;
    if (reference.size() < fewest_runs || other.size() < fewest_runs ||
        smallest_p(reference.size(), other.size()) >= level)
        return c;
    c.p = mann_whitney_p(reference, other);
    // Relative to the reference's median; from a median of 0 any change is
    // large enough.
    const double effect = ref > 0 ? std::fabs(got - ref) / ref : (got > 0 ? INFINITY : 0);
    if (*c.p < level && effect >= min_effect && got != ref)
        c.verdict = got > ref ? Difference::higher : Difference::lower;
    else
        c.verdict = Difference::same;
    return c;
}
