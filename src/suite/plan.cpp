#include "plan.h"

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
