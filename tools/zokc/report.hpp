// The reports of zokc explore and zokc random, in the form compilers and
// editors read: "file:line:col: error|warning|note: message [-Wname]",
// sorted by file, line and column, each problem followed by notes: the
// choices that reach it and, on request, a replay file for zokc play.
#pragma once
#include "maps.hpp"

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace zokc {

enum class Severity { Note, Warning, Error };

struct Diagnostic {
    std::string file;
    uint32_t line = 1, column = 1;
    Severity severity = Severity::Warning;
    std::string message;
    std::string name;  // shown as [-Wname]
    // Further lines, each "file:line:col: note: text" when it has a place.
    struct Note {
        std::string where;  // "file:line:col", or empty for the problem's own place
        std::string text;
    };
    std::vector<Note> notes;
    // The answers that reach it: -1 for a key wait, n for option n
    // (0-based), starting after the greeting.
    std::optional<std::vector<int32_t>> replay;
};

// "file:line:col" of a place in a map: the line's first non-blank column.
std::string where(const MapStore &maps, Location at);
// A diagnostic placed there.
Diagnostic diagnose(const MapStore &maps, Location at, Severity severity, std::string name, std::string message);

// A replay file's lines: the player's name, the greeting's key wait, then
// an empty line per key wait and the option number per menu.
std::vector<std::string> replayLines(const std::vector<int32_t> &events);

class Report {
public:
    void add(Diagnostic diagnostic) { diagnostics_.push_back(std::move(diagnostic)); }
    // Prints every diagnostic in order of place. With a replays folder, the
    // replay of each problem (warnings and errors) is written there as
    // <n>-<name>.txt, n counting the problems in the order printed. Fails
    // with a cli::Exit when a file cannot be written.
    void print(std::ostream &out, const std::string &replays);

    int count(Severity severity) const;

private:
    std::vector<Diagnostic> diagnostics_;
};

// "1 error", "2 warnings".
std::string plural(uint64_t count, const char *one, const char *many);

}  // namespace zokc
