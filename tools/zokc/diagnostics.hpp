// Problems found in a game, reported as compilers do, one a line with its
// notes under it:
//   game/hall.zok:12:1: error: '.desc' is never closed by '.dend': ... [-Wunclosed-desc]
// The one report of every zokc command that judges a game.
#pragma once
#include "replay.hpp"

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace diag {

enum class Severity { Note, Warning, Error };

// A line under a diagnostic: "file:line:col: note: text".
struct Note {
    std::string where;  // "file:line:col", or empty for the diagnostic's own place
    std::string text;
    bool operator==(const Note &) const = default;
};

struct Diagnostic {
    std::string file;  // the map's path, or the game folder for the game as a whole
    uint32_t line;     // from 1; 0 when the problem has no place in a file
    uint32_t col;      // from 1, in bytes
    Severity severity;
    std::string message;
    std::string kind;  // shown as [-Wkind]; the name -W and -Wno- take
    std::vector<Note> notes = {};
    // The answers that reach it, when play found it, starting after the
    // greeting.
    std::optional<std::vector<replay::Step>> replay = {};
    bool operator==(const Diagnostic &) const = default;
};

// Line and column of a byte in a text.
struct LineCol {
    uint32_t line, col;
};

// Finds lines and columns of byte offsets in one text.
class LineIndex {
public:
    explicit LineIndex(std::string_view text);
    LineCol at(uint32_t offset) const;
    // The offset of the first byte of the line holding offset.
    uint32_t lineStart(uint32_t offset) const;

private:
    std::vector<uint32_t> starts_;  // offset of each line's first byte
};

// Script text as a message may quote it: control bytes in caret notation
// (tab ^I, line end ^J, carriage return ^M, ESC ^[), and bytes that are not
// UTF-8, or would be terminal controls, as \xHH; a game cannot drive the
// terminal the report is read on.
std::string quoted(std::string_view text);

// The offset of the first byte in text that is not part of a well-formed
// UTF-8 character, or npos.
size_t firstNonUtf8(std::string_view text);

// Prints the diagnostics sorted by file, line and column, file names and
// messages through quoted (which leaves text already quoted as it is), those at one
// place in the order given, exact repeats dropped (the list is left so).
// Each is followed by its notes and, with a replay, the choices that reach
// it. With a replays folder, each replay (of a problem, or of an ending
// noted) is also written there as <n>-<kind>.txt, n counting them in the
// order printed;
// returns why the folder or a file could not be written, a line each, or
// nothing when all were.
std::string report(std::ostream &out, std::vector<Diagnostic> &diagnostics, const std::string &replays = {});

// "file:line:col" of a diagnostic, or its file alone when it has no line.
std::string placeOf(const Diagnostic &diagnostic);

// "1 error", "2 warnings".
std::string plural(uint64_t count, const char *one, const char *many);

size_t count(const std::vector<Diagnostic> &diagnostics, Severity severity);

// "2 errors" and "1 warning", joined by between.
std::string tally(const std::vector<Diagnostic> &diagnostics, const char *between);

}  // namespace diag
