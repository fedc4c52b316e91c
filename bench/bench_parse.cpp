// Interpreter throughput: parse_r over generated maps of several shapes at
// 1, 10 and 50 MB (MB = 2^20 bytes), each beside memchr counting the newlines
// of the same text, the yardstick of how fast a pass over the bytes can be.
// Ends with a summary: the memchr/parse_r ratio and the cost per byte
// relative to the 1 MB map of the same shape, which stays near 1 while the
// interpreter is linear.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "Word.hpp"
#include "engine.hpp"
#include "game.hpp"
#include "interp.hpp"

namespace {

constexpr size_t MB = size_t{1} << 20;
constexpr int SIZES[] = {1, 10, 50};
constexpr double MAX_RATIO = 40;    // parse_r at least 1/40 of memchr's bytes per second
constexpr double MAX_GROWTH = 1.3;  // cost per byte at 50 MB against 1 MB
constexpr int REPETITIONS = 5;      // the fastest of these counts

const std::string PROSE = "The cave is dark and damp, and water drips from the ceiling. ";

// Text of about `bytes` bytes: head, then piece(0), piece(1), ... while they
// fit before the tail, then the tail.
template <typename Piece>
std::string fill(size_t bytes, const std::string &head, Piece piece, const std::string &tail)
{
    std::string text = head;
    text.reserve(bytes + 256);
    for (int i = 0; text.size() + tail.size() < bytes; i++)
        text += piece(i);
    return text + tail;
}

// A line of exactly `bytes` bytes with its newline, made of `words` repeated.
std::string line(size_t bytes, const std::string &words)
{
    std::string text;
    while (text.size() + 1 < bytes)
        text += words;
    text.resize(bytes - 1);
    return text + "\n";
}

struct Shape {
    const char *name;
    std::string (*make)(size_t bytes);
};

const Shape SHAPES[] = {
    {"one description",
     [](size_t n) { return fill(n, ".desc\n", [](int) { return PROSE + "\n"; }, ".dend\n"); }},
    {"names+small descs",
     [](size_t n) {
         return fill(n, "", [](int i) {
             return ".name Room " + std::to_string(i) + "\n.desc\nA small room, a door north.\n.dend\n";
         }, "");
     }},
    {"set/if/elif/else/fi",
     [](size_t n) {
         return fill(n, "", [](int i) {
             const std::string v = std::to_string(i % 4);
             return ".set door " + v + "\n.if door=1\n.set lamp 1\n.elif door=2\n.set key 2\n"
                    ".else\n.if lamp&key\n.set gold " + v + "\n.fi\n.fi\n";
         }, "");
     }},
    {"list, last option",
     [](size_t n) {
         return fill(n, ".list\n", [](int i) {
             return ".opt Take path " + std::to_string(i) + "\n.name On path " + std::to_string(i) + "\n.tpo\n";
         }, ".opt Stay\n.break\n.tpo\n.lend\n");
     }},
    {"1 MB desc lines",
     [](size_t n) {
         return fill(n, "", [](int) { return ".desc\n" + line(MB, PROSE) + ".dend\n"; }, "");
     }},
    // No blanks at all: every token word of the three stages grows with it.
    {"1 MB bare lines",
     [](size_t n) { return fill(n, "", [](int) { return line(MB, "nothing_but_one_long_word;"); }, ""); }},
};

// The map under measurement; parse_r and memchr run one after the other on
// the same text, so only one map is kept at a time.
const std::string &mapText(int shape, int size)
{
    static int key = -1;
    static std::string text;
    if (key != shape * 1000 + size) {
        text.clear();
        text.shrink_to_fit();
        text = SHAPES[shape].make(size * MB);
        key = shape * 1000 + size;
    }
    return text;
}

void parseMap(benchmark::State &state, int shape, int size)
{
    const std::string &text = mapText(shape, size);
    for (auto _ : state) {
        const int result = parse_r(text.c_str(), 0, static_cast<uint32_t>(text.size() + 1));
        if (result != PARSE_END)
            state.SkipWithError("the map did not run to its end");
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void countLines(benchmark::State &state, int shape, int size)
{
    const std::string &text = mapText(shape, size);
    for (auto _ : state) {
        size_t lines = 0;
        const char *end = text.data() + text.size();
        for (const char *p = text.data(); (p = static_cast<const char *>(memchr(p, '\n', end - p))); p++)
            lines++;
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

std::string benchName(const char *what, int shape, int size)
{
    return std::string(what) + "/" + std::to_string(shape + 1) + "/" + std::to_string(size) + "MB";
}

// Each benchmark runs a few times over; the machine may be busy with other
// work, so the fastest repetition stands for it, on the console and in the
// summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    SummaryReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run> &runs) override
    {
        const Run *best = nullptr;
        double bestRate = 0;
        for (const Run &run : runs) {
            const auto rate = run.counters.find("bytes_per_second");
            if (run.run_type != Run::RT_Iteration || run.error_occurred || rate == run.counters.end())
                continue;
            if (!best || rate->second.value > bestRate) {
                best = &run;
                bestRate = rate->second.value;
            }
        }
        if (!best)
            return;  // the library's mean, median and spread of the repetitions
        ConsoleReporter::ReportRuns({*best});
        double &kept = rates[best->run_name.function_name];
        kept = std::max(kept, bestRate);
    }

    // One row per shape and size, with a verdict on each goal.
    void printSummary() const
    {
        int rows = 0, slow = 0, superlinear = 0;
        printf("\n%-3s %-20s %5s %12s %12s %7s %10s  %-7s %s\n", "#", "shape", "MB", "parse_r MB/s",
               "memchr MB/s", "ratio", "cost/byte", "ratio", "linear");
        for (int shape = 0; shape < static_cast<int>(std::size(SHAPES)); shape++) {
            const double base = rate("parse_r", shape, SIZES[0]);
            for (int size : SIZES) {
                const double parse = rate("parse_r", shape, size), scan = rate("memchr", shape, size);
                if (parse <= 0 || scan <= 0)
                    continue;
                const double ratio = scan / parse;
                const double growth = base > 0 ? base / parse : 0;
                const bool fast = ratio <= MAX_RATIO, linear = base > 0 && growth <= MAX_GROWTH;
                rows++;
                slow += !fast;
                superlinear += !linear;
                printf("%-3d %-20s %5d %12.1f %12.1f %7.1f %9.2fx  %-7s %s\n", shape + 1, SHAPES[shape].name,
                       size, parse / MB, scan / MB, ratio, growth, fast ? "ok" : "MISSED", linear ? "ok" : "MISSED");
            }
        }
        if (!rows) {
            printf("nothing measured\n");
            return;
        }
        printf("goal ratio:  parse_r at least 1/%.0f of memchr's bytes per second: %d of %d rows missed\n",
               MAX_RATIO, slow, rows);
        printf("goal linear: cost per byte at most %.1fx the 1 MB map's: %d of %d rows missed\n", MAX_GROWTH,
               superlinear, rows);
    }

private:
    double rate(const char *what, int shape, int size) const
    {
        const auto found = rates.find(benchName(what, shape, size));
        return found == rates.end() ? 0 : found->second;
    }

    std::map<std::string, double> rates;
};

// A front end that shows nothing: no key is waited for, and every menu
// picks its last option.
struct NullFront : FrontEnd {
    void showName(const char *) override {}
    void showDesc(const char *) override {}
    void waitContinue() override {}
    int chooseOption(WordList *labels) override { return labels->count - 1; }
    void showMessage(const char *) override {}
};

}  // namespace

int main(int argc, char **argv)
{
    NullFront front;
    const Engine engine(&front);
    for (int shape = 0; shape < static_cast<int>(std::size(SHAPES)); shape++) {
        for (int size : SIZES) {
            benchmark::RegisterBenchmark(benchName("parse_r", shape, size).c_str(), parseMap, shape, size)
                ->Unit(benchmark::kMillisecond)
                ->Repetitions(REPETITIONS);
            benchmark::RegisterBenchmark(benchName("memchr", shape, size).c_str(), countLines, shape, size)
                ->Unit(benchmark::kMillisecond)
                ->Repetitions(REPETITIONS);
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printSummary();
    benchmark::Shutdown();
    return 0;
}
