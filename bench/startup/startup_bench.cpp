// Start-up time: from fork to the title screen's "press any key" in a
// pseudo-terminal, for zok on several terminal types, beside a bare curses
// program (newterm, start_color, endwin) run to its exit on the same type in
// the same iteration. Each benchmark reports both in milliseconds and their
// ratio.
#include <benchmark/benchmark.h>

#include "rules.hpp"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kTitlePrompt = "press any key";
constexpr int kTimeoutMs = 5000;

struct Child {
    pid_t pid;
    int master;
};

// Starts `program` on a new pseudo-terminal of the standard size, of type `term`, in a
// UTF-8 locale.
Child start(const char *program, const std::string &term)
{
    struct winsize size {};
    size.ws_row = STANDARD_ROWS;
    size.ws_col = STANDARD_COLS;
    Child child{};
    child.pid = forkpty(&child.master, nullptr, nullptr, &size);
    if (child.pid < 0)
        throw std::runtime_error("forkpty failed");
    if (child.pid == 0) {
        setenv("TERM", term.c_str(), 1);
        setenv("LANG", "C.UTF-8", 1);
        setenv("LC_ALL", "C.UTF-8", 1);
        unsetenv("LINES");
        unsetenv("COLUMNS");
        execl(program, program, static_cast<char *>(nullptr));
        _exit(127);
    }
    return child;
}

// Reads the child's output until `until` shows in it (empty: until the
// child closes the terminal). False on timeout.
bool readOutput(const Child &child, std::string_view until)
{
    std::string seen;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kTimeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        struct pollfd p {child.master, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = read(child.master, buf, sizeof buf);
        if (n <= 0)
            return until.empty();  // EIO: every descriptor of the terminal is closed
        if (!until.empty()) {
            seen.append(buf, static_cast<size_t>(n));
            if (seen.find(until) != std::string::npos)
                return true;
            // Keep only the tail a match cut by a read could start in.
            if (seen.size() >= until.size())
                seen.erase(0, seen.size() - until.size() + 1);
        }
    }
}

// Reaps the child, killing it first if asked; true if it exited with 0.
bool finish(const Child &child, bool kill)
{
    if (kill)
        ::kill(child.pid, SIGKILL);
    int status = 0;
    pid_t reaped;
    do
        reaped = waitpid(child.pid, &status, 0);
    while (reaped < 0 && errno == EINTR);
    close(child.master);
    return reaped == child.pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Seconds from fork to the title for zok; to exit for the bare program.
double timeZok(const std::string &term, bool &ok)
{
    const auto begin = Clock::now();
    const Child child = start(ZOK_BINARY, term);
    ok = readOutput(child, kTitlePrompt);
    const std::chrono::duration<double> took = Clock::now() - begin;
    finish(child, true);
    return took.count();
}

double timeBare(const std::string &term, bool &ok)
{
    const auto begin = Clock::now();
    const Child child = start(BARE_CURSES_BINARY, term);
    const bool ended = readOutput(child, "");
    ok = finish(child, false) && ended;
    const std::chrono::duration<double> took = Clock::now() - begin;
    return took.count();
}

void startupToTitle(benchmark::State &state, const std::string &term)
{
    double zokTotal = 0, bareTotal = 0;
    for (auto _ : state) {
        bool zokOk = false, bareOk = false;
        const double zok = timeZok(term, zokOk);
        const double bare = timeBare(term, bareOk);
        if (!zokOk || !bareOk) {
            state.SkipWithError(zokOk ? "the bare curses program failed or did not end"
                                      : "zok never showed its title");
            break;
        }
        state.SetIterationTime(zok);
        zokTotal += zok;
        bareTotal += bare;
    }
    const double runs = static_cast<double>(state.iterations());
    if (runs > 0 && bareTotal > 0) {
        state.counters["zok_ms"] = zokTotal / runs * 1e3;
        state.counters["bare_ms"] = bareTotal / runs * 1e3;
        state.counters["ratio"] = zokTotal / bareTotal;
    }
}

}  // namespace

int main(int argc, char **argv)
{
    signal(SIGPIPE, SIG_IGN);
    for (const char *term : {"xterm", "xterm-256color", "xterm-direct"})
        benchmark::RegisterBenchmark((std::string("StartupToTitle/") + term).c_str(), startupToTitle,
                                     std::string(term))
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
