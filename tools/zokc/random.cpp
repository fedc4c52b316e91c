// zokc random: plays the game many times over, choosing options at random,
// and reports the endings reached and the problems met on the way, each
// with the shortest playthrough found that meets it.
#include "cli.hpp"
#include "commands.hpp"
#include "coverage.hpp"
#include "diagnostics.hpp"
#include "lostcause.hpp"
#include "playthrough.hpp"
#include "problems.hpp"
#include "rng.hpp"

#include <iostream>
#include <map>
#include <random>

namespace {

using namespace zokc;
using diag::Diagnostic;
using diag::Severity;

std::string help()
{
    return "usage: zokc random [--runs N] [--seed S] [--max-steps N] [--coverage]\n"
           "                   [--replays DIR] [-Werror] [-Wno-NAME]... [DIR]\n"
           "\n"
           "Plays the game in DIR (default: game) N times from the start, choosing\n"
           "every option at random, and reports the endings reached, with how many\n"
           "runs reached each, and the problems met, as zokc explore does. Each comes\n"
           "with the shortest run found that meets it. The kinds (the last three\n"
           "only with --coverage):\n"
           "\n" +
           problems::helpList(problems::RANDOM) +
           "\n"
           "  --runs N         how many playthroughs (default 10000)\n"
           "  --seed S         the seed of the random choices (a whole number); the\n"
           "                   same seed plays the same runs. Without it one is picked\n"
           "                   and shown, so that the runs can be played again\n"
           "  --max-steps N    end a run after N key waits and answers (default 1000)\n"
           "  --coverage       list every map's lines with the times they ran, and\n"
           "                   report the maps, options and lines never reached\n"
           "  --replays DIR    write the replay of each problem and of each ending to\n"
           "                   DIR/<n>-<name>.txt; zokc play --replay FILE plays it\n" +
           problems::optionsHelp(19) +
           "\n"
           "Exit status: 1 when an error was found, 0 otherwise, 2 for bad usage.\n";
}

// Thrown when a run has taken all the key waits it may.
struct OutOfSteps {};

class Runner : public AutoPlayer, Observer {
public:
    Runner(Session &session, uint64_t seed, uint64_t maxSteps)
        : AutoPlayer(session.watch), s_(session), rng_(seed), maxSteps_(maxSteps)
    {
        observer = this;
    }

    void play(uint64_t runs);
    void report(std::vector<Diagnostic> &out);

    uint64_t won = 0, died = 0, failed = 0, stopped = 0;

private:
    int choose(int count) override
    {
        step();
        return static_cast<int>(rng_.below(static_cast<uint32_t>(count)));
    }
    void keyWait() override { step(); }
    void step()
    {
        if (++steps_ > maxSteps_)
            throw OutOfSteps{};
    }
    void unseen(bool name, Location replaced, Location by) override;
    void tall(Location desc, int rows) override;

    struct Met {
        uint64_t runs = 0;
        uint64_t last = UINT64_MAX;  // the run counted last
        std::vector<replay::Step> replay;
        Location other;
        int value = 0;
    };
    Met *meet(Noticed kind, Location at, size_t events);

    Session &s_;
    Rng rng_;
    uint64_t maxSteps_, steps_ = 0, run_ = 0;
    std::map<std::pair<Noticed, Location>, Met> met_;
};

// Counts the run once and keeps its prompts up to here when they are the
// shortest way yet; returns the problem then, for the caller to complete.
Runner::Met *Runner::meet(Noticed kind, Location at, size_t upTo)
{
    auto [entry, added] = met_.try_emplace({kind, at});
    Met &met = entry->second;
    if (met.last != run_) {
        met.runs++;
        met.last = run_;
    }
    if (!added && upTo >= met.replay.size())
        return nullptr;
    met.replay.assign(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(upTo));
    return &met;
}

void Runner::unseen(bool name, Location replaced, Location by)
{
    if (Met *met = meet(name ? UNSEEN_NAME : UNSEEN_DESC, replaced, events.size()))
        met->other = by;
}

void Runner::tall(Location desc, int rows)
{
    if (Met *met = meet(TALL, desc, events.size()))
        met->value = rows;
}

void Runner::play(uint64_t runs)
{
    cli::Progress progress("zokc random");
    for (run_ = 0; run_ < runs; run_++) {
        if (progress.due())
            progress.show(std::to_string(run_) + " of " + std::to_string(runs) + " runs");
        s_.restart();
        screen = {};
        events.clear();
        steps_ = 0;
        Ending ending;
        try {
            ending = playGame(*this, s_.maps.dir().c_str(), s_.load);
        } catch (const OutOfSteps &) {
            stopped++;
            continue;
        }
        switch (ending) {
        case Ending::Died:
        case Ending::Won:
            (ending == Ending::Won ? won : died)++;
            if (Met *met = meet(ENDING, s_.watch.passEnd(), events.size()))
                met->value = static_cast<int>(ending);
            break;
        case Ending::MapMissing: {
            failed++;
            const uint32_t map = s_.maps.id(go_map);
            if (Met *met = meet(MISSING, map == s_.startMap() ? Location{map, 0} : s_.watch.end(), events.size()))
                met->other = {map, 0};
            break;
        }
        case Ending::TooDeep:
            failed++;
            meet(TOO_DEEP, {s_.current, s_.watch.menuList()}, events.size());
            break;
        case Ending::Idle:
            failed++;
            meet(IDLE, s_.watch.passEnd().map != NONE ? s_.watch.passEnd() : Location{s_.current, 0}, events.size());
            break;
        }
    }
}

void Runner::report(std::vector<Diagnostic> &out)
{
    for (const auto &[place, met] : met_) {
        const auto &[kind, at] = place;
        const std::string runs = std::to_string(met.runs) + " of " + std::to_string(run_) + " runs";
        Diagnostic d = diagnoseNoticed(s_, kind, at, met.other, met.value,
                                       kind == ENDING ? " in " + runs : " (in " + runs + ")");
        d.replay = met.replay;
        out.push_back(std::move(d));
    }
}

}  // namespace

int randomCommand(int argc, char **argv)
{
    static const std::string HELP = help();
    cli::Args args(argc, argv, HELP.c_str());
    uint64_t runs = 10000, seed = 0, maxSteps = 1000;
    std::string replays, option;
    bool coverage = false, seedGiven = false;
    problems::Filter filter;
    while (args.more()) {
        if (args.prefixed("-W", option))
            filter.take(option);
        else if (args.number("--seed", seed))
            seedGiven = true;
        else if (args.flag("--coverage"))
            coverage = true;
        else if (!args.number("--runs", runs) && !args.number("--max-steps", maxSteps) &&
                 !args.option("--replays", replays))
            args.folder();
    }
    const std::string dir = args.dir();
    if (!seedGiven)
        seed = std::random_device{}() & 0xFFFFFFFFu;

    Session session(dir);
    session.watch.countLines = coverage;
    Runner runner(session, seed, maxSteps);
    runner.play(runs);
    std::vector<Diagnostic> found;
    runner.report(found);
    if (coverage)
        reportCoverage(session.maps, session.watch, found);
    filter.apply(found);
    const std::string unwritten = diag::report(std::cout, found, replays);
    if (coverage)
        listCoverage(session.maps, session.watch, std::cout);
    if (const std::vector<Location> winAt = wins(session.maps); runner.won == 0 && runs > 0 && !winAt.empty())
        std::cout << "zokc random: no run won the game, though it has a '.win' at "
                  << diag::quoted(where(session.maps, winAt[0])) << (winAt.size() > 1 ? " and elsewhere" : "")
                  << "; zokc explore finds whether any way through play wins\n";
    std::cout << "zokc random: " << runs << " runs with --seed " << seed << ": " << runner.won << " won, "
              << runner.died << " died, " << runner.failed << " ended on a problem, " << runner.stopped
              << " stopped at --max-steps " << maxSteps << "; " << diag::tally(found, ", ") << '\n';
    if (!unwritten.empty())
        throw cli::Exit{cli::EXIT_USAGE, unwritten};
    return diag::count(found, Severity::Error) > 0 ? cli::EXIT_PROBLEMS : cli::EXIT_OK;
}
