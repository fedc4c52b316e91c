// Every kind of problem a zokc command reports, in one table: its -W name,
// how sure the game is to misbehave, the commands that report it and a line
// for --help. The table drives each command's help, the -W options and the
// tags of the report, so that one problem has one name everywhere.
#pragma once
#include "diagnostics.hpp"

#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace problems {

// The commands that judge a game, as bits.
enum Command : uint8_t { CHECK = 1, EXPLORE = 2, RANDOM = 4 };

struct Kind {
    const char *name;
    diag::Severity severity;
    uint8_t commands;
    const char *about;
};

std::span<const Kind> kinds();
const Kind *find(std::string_view name);
// The severity of a kind the table holds.
diag::Severity severity(std::string_view name);

// The help's list of the kinds command reports, a line each.
std::string helpList(Command command);
// The help's lines for -Werror, -Wno-NAME and -h, their texts from column
// width on, as every judging command shows them.
std::string optionsHelp(size_t width);

// The -W options of a judging command: -Werror counts warnings as errors,
// -Wno-NAME leaves out the kind NAME, -WNAME takes it back in.
class Filter {
public:
    // Takes what follows "-W"; a NAME the table lacks is bad usage.
    void take(std::string_view option);
    // Drops the kinds left out and raises warnings to errors if asked.
    void apply(std::vector<diag::Diagnostic> &found) const;

private:
    bool warningsAreErrors_ = false;
    std::set<std::string, std::less<>> silenced_;
};

}  // namespace problems
