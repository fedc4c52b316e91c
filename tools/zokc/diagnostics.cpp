// Diagnostics: placing a byte offset on its line and column, quoting script
// text safely, sorting and printing the report, with the replay files.
#include "diagnostics.hpp"

#include "plain.hpp"

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <tuple>

namespace diag {

LineIndex::LineIndex(std::string_view text)
{
    starts_.push_back(0);
    for (uint32_t i = 0; i < text.size(); i++)
        if (text[i] == '\n')
            starts_.push_back(i + 1);
}

uint32_t LineIndex::lineStart(uint32_t offset) const
{
    return *(std::upper_bound(starts_.begin(), starts_.end(), offset) - 1);
}

LineCol LineIndex::at(uint32_t offset) const
{
    const auto line = std::upper_bound(starts_.begin(), starts_.end(), offset) - 1;
    return {static_cast<uint32_t>(line - starts_.begin()) + 1, offset - *line + 1};
}

namespace {

// The length of the UTF-8 character text starts with, or 0 when it does not
// start with a well-formed one.
size_t utf8Length(std::string_view text)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // the range of the byte after the lead
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
    else
        return 0;
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (size_t i = 2; i < length; i++)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

}  // namespace

size_t firstNonUtf8(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        const size_t length = utf8Length(text.substr(i));
        if (length == 0)
            return i;
        i += length;
    }
    return std::string_view::npos;
}

std::string quoted(std::string_view text)
{
    std::string carets;
    for (const char ch : text) {
        if (ch == '\t')
            carets += "^I";
        else if (ch == '\n')
            carets += "^J";
        else
            carets += ch;
    }
    const std::string shown = plain::visible(carets);
    std::string out;
    static const char HEX[] = "0123456789ABCDEF";
    for (size_t i = 0; i < shown.size();) {
        const std::string_view rest = std::string_view(shown).substr(i);
        size_t length = utf8Length(rest);
        // U+0080 to U+009F are the C1 controls, which some terminals obey.
        if (length == 2 && static_cast<unsigned char>(rest[0]) == 0xC2 && static_cast<unsigned char>(rest[1]) < 0xA0)
            length = 0;
        if (length == 0) {
            const auto byte = static_cast<unsigned char>(rest[0]);
            out += "\\x";
            out += HEX[byte >> 4];
            out += HEX[byte & 15];
            i++;
        } else {
            out += rest.substr(0, length);
            i += length;
        }
    }
    return out;
}

namespace {

const char *severityName(Severity severity)
{
    return severity == Severity::Error ? "error" : severity == Severity::Warning ? "warning" : "note";
}

// "reached by choosing 2, then 1", the menu answers of a replay.
std::string choices(const std::vector<replay::Step> &events)
{
    std::string text;
    for (const replay::Step &event : events)
        if (event.choice >= 0)
            text += (text.empty() ? "reached by choosing " : ", then ") + std::to_string(event.choice + 1);
    return text.empty() ? "reached without a choice" : text;
}

}  // namespace

std::string report(std::ostream &out, std::vector<Diagnostic> &diagnostics, const std::string &replays)
{
    std::stable_sort(diagnostics.begin(), diagnostics.end(), [](const Diagnostic &a, const Diagnostic &b) {
        return std::tie(a.file, a.line, a.col) < std::tie(b.file, b.line, b.col);
    });
    diagnostics.erase(std::unique(diagnostics.begin(), diagnostics.end()), diagnostics.end());
    std::string failed;  // a line for each replay not written
    bool writing = !replays.empty();
    if (writing) {
        std::error_code error;
        std::filesystem::create_directories(replays, error);
        if (!error && !std::filesystem::is_directory(replays, error))
            error = std::make_error_code(std::errc::not_a_directory);
        if (error) {
            failed = diag::quoted("cannot write the replays folder '" + replays + "': " + error.message());
            writing = false;
        }
    }
    int written = 0;
    for (const Diagnostic &d : diagnostics) {
        const std::string place = diag::quoted(placeOf(d));
        out << place << ": " << severityName(d.severity) << ": " << diag::quoted(d.message) << " [-W" << d.kind << "]\n";
        for (const Note &note : d.notes)
            out << (note.where.empty() ? place : diag::quoted(note.where)) << ": note: " << diag::quoted(note.text) << '\n';
        if (!d.replay)
            continue;
        out << place << ": note: " << choices(*d.replay) << '\n';
        if (writing) {
            const std::string path = replays + "/" + std::to_string(++written) + "-" + d.kind + ".txt";
            try {
                replay::write(path, *d.replay);
                out << place << ": note: replay written to " << diag::quoted(path) << '\n';
            } catch (const replay::Failed &failure) {
                failed += (failed.empty() ? "" : "\n") + diag::quoted(failure.message);
                writing = failure.refused;  // a file in the way; when the folder takes none, the others fail as well
            }
        }
    }
    return failed;
}

std::string placeOf(const Diagnostic &d)
{
    return d.line > 0 ? d.file + ":" + std::to_string(d.line) + ":" + std::to_string(d.col) : d.file;
}

std::string plural(uint64_t count, const char *one, const char *many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

size_t count(const std::vector<Diagnostic> &diagnostics, Severity severity)
{
    return std::count_if(diagnostics.begin(), diagnostics.end(),
                         [&](const Diagnostic &d) { return d.severity == severity; });
}

std::string tally(const std::vector<Diagnostic> &diagnostics, const char *between)
{
    return plural(count(diagnostics, Severity::Error), "error", "errors") + between +
           plural(count(diagnostics, Severity::Warning), "warning", "warnings");
}

}  // namespace diag
