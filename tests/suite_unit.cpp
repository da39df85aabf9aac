// Unit tests of suite's pure parts: the statistics, the builds' labels, the
// escaping of text, and the report writers from hand-built checks.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cell.h"
#include "escape.h"
#include "plan.h"
#include "report.h"
#include "stats.h"

namespace {

using V = std::vector<double>;

TEST(Stats, QuantilesInterpolateAsNumPyDoes)
{
    std::vector<double> v = {1, 2, 3, 4};
    EXPECT_DOUBLE_EQ(quantile(v, 0.5), 2.5);
    EXPECT_DOUBLE_EQ(quantile(v, 0.25), 1.75);
    EXPECT_DOUBLE_EQ(quantile(v, 0.75), 3.25);
    EXPECT_DOUBLE_EQ(median({5, 1, 3}), 3);
    EXPECT_DOUBLE_EQ(median({7}), 7);
}

// The p-values SciPy 1.10 gives for mannwhitneyu(x, y, alternative="two-sided",
// use_continuity=True, method="asymptotic").
TEST(Stats, MannWhitneyMatchesSciPy)
{
    struct Case {
        std::vector<double> x, y;
        double p;
    };
    const Case cases[] = {
        {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}, 0.012185780355344813},                           // apart
        {{1, 2, 2, 3, 3, 3}, {2, 3, 4, 4, 5, 6, 7}, 0.028638831243270754},                    // ties
        {{0.5, 0.5, 0.5, 0.5, 0.5}, {0.5, 0.5, 0.5, 0.5, 0.5}, 1.0},                          // all equal
        {{1.1, 2.2, 3.3, 4.4, 5.5, 6.6}, {1.1, 2.2, 3.3, 4.4, 5.5, 6.6}, 1.0},                // the same
        {{3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5}, {2, 7, 1, 8, 2, 8, 1, 8, 2, 8, 4, 5}, 0.7090244847321532}, // mixed
    };
    for (const Case &c : cases) {
        EXPECT_NEAR(mann_whitney_p(c.x, c.y), c.p, 1e-12);
        EXPECT_NEAR(mann_whitney_p(c.y, c.x), c.p, 1e-12);
    }
}

TEST(Stats, ARealDifferenceNeedsTheTestAndTheEffect)
{
    const std::vector<double> ref = {1.00, 1.01, 0.99, 1.02, 0.98};
    const std::vector<double> slow = {1.30, 1.31, 1.29, 1.32, 1.28};
    const std::vector<double> near = {1.03, 1.04, 1.035, 1.045, 1.05}; // apart, but by less than 10%
    const std::vector<double> mixed = {0.97, 1.015, 1.005, 1.03, 0.985};

    Comparison c = compare(ref, slow, 0.10);
    EXPECT_EQ(c.verdict, Difference::higher);
    EXPECT_NEAR(*c.ratio, 1.30, 1e-12);
    EXPECT_NEAR(*c.p, 0.012185780355344813, 1e-12);
    EXPECT_EQ(compare(slow, ref, 0.10).verdict, Difference::lower);
    EXPECT_EQ(compare(ref, near, 0.10).verdict, Difference::same);
    EXPECT_EQ(compare(ref, near, 0.02).verdict, Difference::higher);
    EXPECT_EQ(compare(ref, mixed, 0.0).verdict, Difference::same);

    // Too few runs: the ratio, and no test.
    Comparison few = compare(V{1, 1, 1, 1}, V{2, 2, 2, 2}, 0.10);
    EXPECT_EQ(few.verdict, Difference::too_few);
    EXPECT_FALSE(few.p);
    EXPECT_DOUBLE_EQ(*few.ratio, 2);

    // In a family of comparisons each is held to its share of the level:
    // five runs wholly apart (p = 0.012) are real alone, too few among 27,
    // and a p-value that passes alone fails among 27.
    EXPECT_NEAR(smallest_p(5, 5), 0.012185780355344813, 1e-12);
    EXPECT_EQ(compare(ref, slow, 0.10, 27).verdict, Difference::too_few);
    EXPECT_EQ(runs_to_tell(1), fewest_runs);
    EXPECT_EQ(runs_to_tell(27), 8U);
    const std::vector<double> ref9 = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const std::vector<double> overlapping = {5, 6, 7, 8, 9, 10, 11, 12, 13}; // p = 0.0149
    EXPECT_EQ(compare(ref9, overlapping, 0.10).verdict, Difference::higher);
    EXPECT_EQ(compare(ref9, overlapping, 0.10, 27).verdict, Difference::same);

    // A median of 0 has no ratio to it, but a change from it is large.
    Comparison zero = compare(V{0, 0, 0, 0, 0}, V{1, 1, 1, 1, 1}, 0.10);
    EXPECT_FALSE(zero.ratio);
    EXPECT_EQ(zero.verdict, Difference::higher);
    EXPECT_DOUBLE_EQ(*compare(V{0, 0, 0, 0, 0}, V{0, 0, 0, 0, 0}, 0.10).ratio, 1);
}

TEST(Plan, LabelsAreTheShortestEndThatTellsBuildsApart)
{
    using V = std::vector<std::string>;
    struct Case {
        V paths, labels;
    };
    const Case cases[] = {
        {{"/h/p/build/gcc-o0/bin", "/h/p/build/release/bin"}, {"gcc-o0", "release"}},
        {{"/a/release/bin", "/b/release/bin"}, {"a/release", "b/release"}},
        {{"/h/p/build/release/bin"}, {"release"}},
        {{"/x/bin", "/y/x/bin"}, {"/x/bin", "y/x"}},   // one ends the other
        {{"/a/bin", "/a"}, {"/a/bin", "/a"}},          // the same once bin is dropped
        {{"", "/bin"}, {"/", "bin"}},                  // the root, and a bin with nothing before it
        {{"/o/one", "/o/two", "/o/three"}, {"one", "two", "three"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(default_labels(c.paths), c.labels);
}

TEST(Plan, EveryCellRunsOnceARoundAndNoBuildKeepsItsPlace)
{
    Plan plan;
    plan.builds = {{"a", "/a"}, {"b", "/b"}, {"c", "/c"}};
    plan.programs = {nullptr, nullptr};
    plan.repeat = 60;
    ASSERT_EQ(plan.steps(), 360U);
    std::vector<std::vector<size_t>> place(3, std::vector<size_t>(3));    // build, place within its program
    std::vector<std::vector<size_t>> follows(3, std::vector<size_t>(3));  // build, the build before it
    for (size_t r = 0; r < 60; ++r) {
        std::vector<size_t> seen;
        for (size_t i = r * 6; i < r * 6 + 6; ++i) {
            EXPECT_EQ(plan.round(i), r);
            const size_t c = plan.cell(i);
            EXPECT_EQ(c / 3, (i % 6) / 3) << "the programs in turn";
            seen.push_back(c);
            ++place[c % 3][i % 3];
            if (i % 3 != 0)
                ++follows[c % 3][plan.cell(i - 1) % 3];
        }
        std::sort(seen.begin(), seen.end());
        EXPECT_EQ(seen, (std::vector<size_t>{0, 1, 2, 3, 4, 5})) << "round " << r;
    }
    // Over sixty rounds, each build takes each place, and follows each of
    // the others, often.
    for (size_t b = 0; b < 3; ++b)
        for (size_t k = 0; k < 3; ++k) {
            EXPECT_GE(place[b][k], 20U);
            if (k != b) {
                EXPECT_GE(follows[b][k], 20U);
            }
        }
    EXPECT_EQ(plan.cell(17), Plan(plan).cell(17)) << "the same order in every check";
}

TEST(Reports, PeakMemoryPastAGibibyteShowsInGiB)
{
    EXPECT_EQ(memory_text(1331), "1.3 MiB");
    EXPECT_EQ(memory_text(999L * 1024), "999.0 MiB");
    EXPECT_EQ(memory_text(1023L * 1024), "1023 MiB");
    EXPECT_EQ(memory_text(1024L * 1024 - 40), "1.0 GiB");
    EXPECT_EQ(memory_text(3146752), "3.0 GiB");
}

TEST(Escape, TextCannotEndALine)
{
    EXPECT_EQ(text_quoted("/a b/caf\xc3\xa9"), "\"/a b/caf\xc3\xa9\"");
    EXPECT_EQ(text_quoted("x\ny\"z\\\xff\x7f"), "\"x\\x0ay\\\"z\\\\\\xff\\x7f\"");
    EXPECT_EQ(text_escaped("a\tb\xc2\x85"), "a\\x09b\\xc2\\x85");
}

TEST(Escape, MarkdownShowsEveryByteAsText)
{
    EXPECT_EQ(markdown_text("a|b"), "a\\|b");
    EXPECT_EQ(markdown_text("<script>"), "\\<script\\>");
    EXPECT_EQ(markdown_text("x\ny\xff"), "x\\\\x0ay\\\\xff");
    EXPECT_EQ(markdown_text("*`[a](b)`*"), "\\*\\`\\[a\\]\\(b\\)\\`\\*");
    EXPECT_EQ(markdown_text("caf\xc3\xa9 1.5"), "caf\xc3\xa9 1\\.5");
}

// A check built by hand: two builds of two programs, three runs each.
const Contract *contract(const char *name)
{
    for (const Contract &c : contracts())
        if (std::string(c.name) == name)
            return &c;
    return nullptr;
}

Cell cell_of(std::vector<double> walls, std::vector<Fault> faults, long peak = 1024)
{
    Cell c;
    for (size_t i = 0; i < walls.size(); ++i) {
        Verdict v{faults[i], faults[i] == Fault::none ? "passed" : "wrong output", {}};
        if (faults[i] != Fault::none)
            v.details = {"line 1: expected \"4\", got \"5\""};
        add_run(c, i, std::move(v), Figures{walls[i], walls[i] / 2, 0, peak});
    }
    conclude(c, walls.size());
    return c;
}

long r_of(size_t p, size_t b)
{
    return static_cast<long>((p * 7 + b * 3) % 11);
}

Check two_builds()
{
    Check s;
    s.plan.builds = {{"release", "/b/release/bin"}, {"gcc-o0", "/b/gcc-o0/bin"}};
    s.plan.programs = {contract("skerrow"), contract("mardune")};
    s.plan.repeat = 6;
    s.limit = 10;
    const Fault ok = Fault::none;
    const Fault bad = Fault::wrong_output;
    s.cells = {
        cell_of({0.010, 0.011, 0.012, 0.010, 0.011, 0.011}, {ok, ok, ok, ok, ok, ok}),
        cell_of({0.010, 0.011, 0.012, 0.010, 0.011, 0.011}, {ok, bad, ok, ok, bad, ok}),
        cell_of({0.010, 0.011, 0.012, 0.010, 0.011, 0.011}, {ok, ok, ok, ok, ok, ok}),
        cell_of({0.270, 0.280, 0.290, 0.270, 0.275, 0.280}, {ok, ok, ok, ok, ok, ok}, 2048),
    };
    compare_cells(s.cells[2], s.cells[3], s.min_effect, s.family());
    return s;
}

// What a writer puts out, through a stream in memory.
template <typename Write>
std::string written(Write write)
{
    char *buf = nullptr;
    size_t size = 0;
    std::FILE *f = open_memstream(&buf, &size);
    write(f);
    std::fclose(f);
    std::string out(buf, size);
    std::free(buf);
    return out;
}

std::string written(void (*write)(std::FILE *, const Check &), const Check &s)
{
    return written([&](std::FILE *f) { write(f, s); });
}

std::string streamed(const Stream &stream, const Check &s)
{
    return written([&](std::FILE *f) {
        stream.begin(f, s);
        for (size_t p = 0; p < s.plan.programs.size(); ++p)
            stream.row(f, s, p);
        stream.end(f, s);
    });
}

TEST(Reports, TextSetsBuildsSideBySide)
{
    const std::string want =
        "checking 2 programs in 2 builds, 6 runs each, time limit 10 s each\n"
        "  release  \"/b/release/bin\"  (reference)\n"
        "  gcc-o0   \"/b/gcc-o0/bin\"\n"
        "wall time, median of 6 runs, and ratio to release\n"
        "  program  release                       gcc-o0\n"
        "  skerrow   11.00 ms  ±3%                flaky: 2 of 6 runs failed\n"
        "  mardune   11.00 ms  ±3%                277.50 ms  ±2% 25.2x slower\n"
        "peak memory, median of 6 runs, and ratio to release\n"
        "  program  release                       gcc-o0\n"
        "  skerrow    1.0 MiB  ±0%                flaky: 2 of 6 runs failed\n"
        "  mardune    1.0 MiB  ±0%                  2.0 MiB  ±0% 2.00x larger\n"
        "slower, faster, larger, smaller: a real difference (Mann-Whitney U test, p < 0.05/6 for a build's 6 "
        "comparisons, medians at least 10% apart)\n"
        "~: no clear difference; ?: too few runs to tell (6 a side are needed)\n"
        "failures\n"
        "  gcc-o0 :: skerrow: flaky: failed 2 of 6 runs; run 2: wrong output\n"
        "      line 1: expected \"4\", got \"5\"\n"
        "3 passed, 1 failed\n";
    EXPECT_EQ(streamed(text_report, two_builds()), want);
}

TEST(Reports, TextOfOneBuildRunOnceKeepsItsShape)
{
    Check s;
    s.plan.builds = {{"bin", "/b/bin"}};
    s.plan.programs = {contract("skerrow"), contract("ombrel")};
    s.cells = {cell_of({0.0042}, {Fault::none}), cell_of({0.0031}, {Fault::wrong_output})};
    EXPECT_EQ(streamed(text_report, s), "checking 2 programs in \"/b/bin\", time limit 10 s each\n"
                                        "  program       wall        cpu       peak  verdict\n"
                                        "  skerrow    0.004 s    0.002 s    1.0 MiB  passed\n"
                                        "  ombrel     0.003 s    0.002 s    1.0 MiB  wrong output\n"
                                        "                                              line 1: expected \"4\", "
                                        "got \"5\"\n"
                                        "1 passed, 1 failed\n");
}

TEST(Reports, TapNamesEachCellByBuild)
{
    Check s = two_builds();
    std::string tap = streamed(tap_report, s);
    EXPECT_EQ(tap.substr(0, tap.find("  ---")), "TAP version 13\n1..4\nok 1 - release :: skerrow\n"
                                                "not ok 2 - gcc-o0 :: skerrow\n");
    EXPECT_NE(tap.find("ok 4 - gcc-o0 :: mardune\n# 3 passed, 1 failed\n"), std::string::npos);
}

TEST(Reports, JsonCarriesEveryComparisonAndRun)
{
    std::string json = written(write_json, two_builds());
    EXPECT_NE(json.find("{\"label\": \"gcc-o0\", \"dir\": \"/b/gcc-o0/bin\", \"reference\": false}"), std::string::npos);
    EXPECT_NE(json.find("{\"build\": \"gcc-o0\", \"program\": \"mardune\", \"metric\": \"wall_time\", \"ratio\": 25.2273, "
                        "\"p_value\": 0.00455142, \"verdict\": \"higher\"}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"name\": \"gcc-o0 :: skerrow\", \"code\": \"FAIL\""), std::string::npos);
    EXPECT_NE(json.find("{\"code\": \"FAIL\", \"exec_time\": 0.005500, \"sys_time\": 0.000000, \"wall_time\": 0.011000, "
                        "\"peak_rss_kib\": 1024}"),
              std::string::npos);
}

TEST(Reports, JunitHasASuitePerBuild)
{
    std::string xml = written(write_junit, two_builds());
    EXPECT_NE(xml.find("<testsuite name=\"release\" package=\"suite\" id=\"0\" tests=\"2\" failures=\"0\""),
              std::string::npos);
    EXPECT_NE(xml.find("<testsuite name=\"gcc-o0\" package=\"suite\" id=\"1\" tests=\"2\" failures=\"1\""),
              std::string::npos);
    EXPECT_NE(xml.find("<failure type=\"flaky\" message=\"flaky: failed 2 of 6 runs; run 2: wrong output\">"),
              std::string::npos);
}

} // namespace

namespace {

// The page for five builds of nine programs run twenty times stays small.
TEST(Reports, HtmlOfFiveBuildsOfTwentyRunsIsSmall)
{
    Check s;
    for (const char *label : {"release", "gcc-o0", "clang-release", "clang-o0", "sanitize"})
        s.plan.builds.push_back({label, std::string("/home/me/langsuite/build/") + label + "/bin"});
    for (const Contract &c : contracts())
        s.plan.programs.push_back(&c);
    s.plan.repeat = 20;
    s.command = {"suite", "--repeat", "20", "--html", "check.html"};
    for (size_t p = 0; p < s.plan.programs.size(); ++p)
        for (size_t b = 0; b < s.plan.builds.size(); ++b) {
            std::vector<double> walls;
            std::vector<Fault> faults;
            for (size_t r = 0; r < 20; ++r) {
                walls.push_back(0.0007 * static_cast<double>(1 + b * p) + 0.00001 * static_cast<double>(r * r));
                faults.push_back(b == 4 && p == 2 && r % 3 == 0 ? Fault::wrong_output : Fault::none);
            }
            s.cells.push_back(cell_of(walls, faults, static_cast<long>(1200 + 10 * r_of(p, b))));
        }
    for (size_t p = 0; p < s.plan.programs.size(); ++p)
        for (size_t b = 1; b < s.plan.builds.size(); ++b)
            if (passed(s.cell(p, b)))
                compare_cells(s.cell(p, 0), s.cells[p * 5 + b], s.min_effect, s.family());
    const std::string page = written(write_html, s);
    EXPECT_LE(page.size(), 150000U);
    EXPECT_NE(page.find("flaky: 7 of 20 runs failed"), std::string::npos);
}

} // namespace
