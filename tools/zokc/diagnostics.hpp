// Problems found in a game, reported as compilers do, one a line:
//   game/hall.zok:12:1: error: '.desc' is never closed by '.dend': ... [-Wunclosed-desc]
// Shared by the zokc commands that judge a game.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace diag {

enum class Severity { Warning, Error };

struct Diagnostic {
    std::string file;  // the map's path, or the game folder for the game as a whole
    uint32_t line;     // from 1; 0 when the problem has no place in a file
    uint32_t col;      // from 1, in bytes
    Severity severity;
    std::string message;
    std::string kind;  // the name -W and -Wno- take
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

// By file, line and column, then by message, so that a report reads the
// same every time; exact repeats are dropped.
void sortDiagnostics(std::vector<Diagnostic> &diagnostics);

// "file:line:col: error: message [-Wkind]".
void printDiagnostic(std::ostream &out, const Diagnostic &diagnostic);

// "2 errors and 1 warning in 5 maps".
std::string summary(size_t errors, size_t warnings, size_t maps);

}  // namespace diag
