#include "contract.h"

#include "escape.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// Generated from programs/<name>.reference_output at configure time.
constexpr Contract table[] = {
#include "contracts.inc"
};

// Lines with their newline, if they have one.
std::vector<std::string_view> lines(std::string_view s)
{
    std::vector<std::string_view> v;
    while (!s.empty()) {
        size_t nl = s.find('\n');
        size_t len = nl == std::string_view::npos ? s.size() : nl + 1;
        v.push_back(s.substr(0, len));
        s.remove_prefix(len);
    }
    return v;
}

std::string show_line(const std::vector<std::string_view> &v, size_t i)
{
    if (i >= v.size())
        return "nothing";
    std::string_view line = v[i];
    if (line.ends_with('\n'))
        return quote(line.substr(0, line.size() - 1));
    return quote(line) + " (no newline at end)";
}

// The lines that differ, at most a few of them.
std::vector<std::string> diff(std::string_view want, std::string_view got)
{
    constexpr size_t most = 5;
    std::vector<std::string_view> w = lines(want);
    std::vector<std::string_view> g = lines(got);
    std::vector<std::string> d;
    size_t differing = 0;
    for (size_t i = 0; i < std::max(w.size(), g.size()); ++i) {
        if (i < w.size() && i < g.size() && w[i] == g[i])
            continue;
        if (++differing <= most)
            d.push_back("line " + std::to_string(i + 1) + ": expected " + show_line(w, i) + ", got " + show_line(g, i));
    }
    if (differing > most)
        d.push_back("and " + std::to_string(differing - most) + " more differing lines");
    return d;
}

std::string seconds(double s)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g s", s);
    return buf;
}

std::string why(int code)
{
    return code == 0 ? "not a regular file" : std::strerror(code);
}

} // namespace

std::span<const Contract> contracts()
{
    return table;
}

Expected expected(const Contract &c)
{
    std::string_view ref = c.reference;
    Expected e{ref, std::nullopt};
    if (ref.empty() || ref.back() != '\n')
        return e;
    size_t end = ref.size() - 1;
    size_t nl = end == 0 ? std::string_view::npos : ref.rfind('\n', end - 1);
    size_t start = nl == std::string_view::npos ? 0 : nl + 1;
    std::string_view last = ref.substr(start, end - start);
    if (!last.starts_with("exit "))
        return e;
    std::string_view digits = last.substr(5);
    int status = 0;
    auto [end_of_number, error] = std::from_chars(digits.data(), digits.data() + digits.size(), status);
    if (error != std::errc() || end_of_number != digits.data() + digits.size() || status < 0 || status > 255)
        return e;
    e.out = ref.substr(0, start);
    e.status = status;
    return e;
}

std::string quote(std::string_view s)
{
    constexpr size_t most = 60;
    std::string q = "\"";
    for (size_t i = 0; i < s.size() && i < most; ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\') {
            q += '\\';
            q += static_cast<char>(c);
        } else if (c == '\t') {
            q += "\\t";
        } else if (c < 0x20 || c >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            q += hex;
        } else {
            q += static_cast<char>(c);
        }
    }
    if (s.size() > most)
        q += "...";
    return q + "\"";
}

Verdict judge(const Contract &c, const Launch &launch, const Run &r)
{
    Verdict v;
    auto fail = [&v](Fault f, std::string text) {
        v.fault = f;
        v.text = std::move(text);
        return v;
    };
    switch (r.end) {
    case Run::End::missing:
        return fail(Fault::missing, r.code == ENOENT ? "missing: " + text_quoted(launch.path)
                                                     : "missing: " + text_quoted(launch.path) + " (" + why(r.code) + ")");
    case Run::End::not_executable:
        if (!r.interpreter.empty())
            return fail(Fault::not_executable, "cannot start: interpreter " + text_escaped(r.interpreter) + " not found");
        return fail(Fault::not_executable, "not executable: " + text_quoted(launch.path) + " (" + why(r.code) + ")");
    case Run::End::runner_failed:
        return fail(Fault::not_executable, "could not start the runner '" + launch.runner->front() + "' (" +
                                               why(r.code) + ")");
    case Run::End::keeper_lost:
        if (r.code < 0)
            return fail(Fault::timeout, "timed out after " + seconds(launch.limit));
        if (r.code == 0)
            return fail(Fault::keeper, "stopped the process that ran it");
        if (r.code > 255)
            return fail(Fault::keeper, "ended the process that ran it (exit status " + std::to_string(r.code - 256) + ")");
        return fail(Fault::keeper, "ended the process that ran it (killed by signal " + std::to_string(r.code) + " (" +
                                       strsignal(r.code) + "))");
    case Run::End::failed:
    case Run::End::stopped:
        return fail(Fault::not_run, "not run");
    case Run::End::timed_out:
        return fail(Fault::timeout, "timed out after " + seconds(launch.limit));
    case Run::End::signalled:
    case Run::End::exited:
        break;
    }

    // A crash says enough on its own about the output and status.
    std::vector<std::pair<Fault, std::string>> faults;
    const bool crashed = r.end == Run::End::signalled;
    if (crashed)
        faults.emplace_back(Fault::signal, "killed by signal " + std::to_string(r.code) + " (" + strsignal(r.code) + ")");
    Expected e = expected(c);
    if (!crashed && r.out != e.out) {
        faults.emplace_back(Fault::wrong_output, "wrong output");
        v.details = diff(e.out, r.out);
        if (r.out_cut)
            v.details.emplace_back("(standard output cut at " + std::to_string(capture_limit) + " bytes)");
    }
    if (!crashed && e.status && r.code != *e.status)
        faults.emplace_back(Fault::wrong_status, "wrong exit status: expected " + std::to_string(*e.status) +
                                                     ", got " + std::to_string(r.code));
    if (!crashed && !r.err.empty()) {
        std::vector<std::string_view> err = lines(r.err);
        faults.emplace_back(Fault::standard_error,
                            "wrote to standard error: " + show_line(err, 0) + (err.size() > 1 ? " ..." : ""));
    }
    if (r.left_running > 0)
        faults.emplace_back(Fault::left_running, "left " + std::to_string(r.left_running) + " process" +
                                                     (r.left_running == 1 ? "" : "es") + " running" +
                                                     (r.unendable == 0                  ? ""
                                                      : r.unendable == r.left_running ? " that could not be ended"
                                                                                       : ", " + std::to_string(r.unendable) +
                                                                                             " of them could not be ended"));

    if (faults.empty()) {
        v.text = "passed";
        return v;
    }
    v.fault = faults[0].first;
    v.text = faults[0].second;
    for (size_t i = 1; i < faults.size(); ++i)
        v.text += "; " + faults[i].second;
    return v;
}
