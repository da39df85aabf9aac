#include "plan.h"

#include <cstdint>
#include <utility>

namespace {

// The parts of a path, and a trailing "bin" dropped where others precede it.
std::vector<std::string> parts(const std::string &path)
{
    std::vector<std::string> v;
    size_t at = 0;
    while (at < path.size()) {
        size_t slash = path.find('/', at);
        if (slash == std::string::npos)
            slash = path.size();
        if (slash > at)
            v.push_back(path.substr(at, slash - at));
        at = slash + 1;
    }
    if (v.size() > 1 && v.back() == "bin")
        v.pop_back();
    return v;
}

// The last k parts, or all where there are fewer, joined.  Parts hold no
// slash, so tails of different lengths never match.
std::string tail(const std::vector<std::string> &p, size_t k)
{
    std::string s;
    for (size_t i = p.size() > k ? p.size() - k : 0; i < p.size(); ++i)
        s += (s.empty() ? "" : "/") + p[i];
    return s;
}

} // namespace

std::size_t Plan::cell(std::size_t step) const
{
    const std::size_t n = builds.size();
    const std::size_t within = step % cells();
    const std::size_t program = within / n;
    // A Fisher-Yates shuffle of the builds, from a generator (splitmix64)
    // seeded by the round and the program.
    std::uint64_t state = (static_cast<std::uint64_t>(round(step)) << 32) ^ program;
    auto next = [&state]() {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    };
    std::vector<std::size_t> order(n);
    for (std::size_t i = 0; i < n; ++i)
        order[i] = i;
    for (std::size_t i = n; i > 1; --i)
        std::swap(order[i - 1], order[next() % i]);
    return program * n + order[within % n];
}

std::vector<std::string> default_labels(const std::vector<std::string> &paths)
{
    std::vector<std::vector<std::string>> p;
    p.reserve(paths.size());
    for (const std::string &path : paths)
        p.push_back(parts(path));
    std::vector<std::string> labels;
    for (size_t i = 0; i < paths.size(); ++i) {
        // A folder whose parts all end another's is called by its whole path.
        std::string label = paths[i].empty() ? "/" : paths[i];
        for (size_t k = 1; k <= p[i].size(); ++k) {
            std::string mine = tail(p[i], k);
            bool unique = true;
            for (size_t j = 0; j < paths.size() && unique; ++j)
                unique = j == i || tail(p[j], k) != mine;
            if (unique) {
                label = mine;
                break;
            }
        }
        labels.push_back(label);
    }
    return labels;
}
