// Printing diagnostics and writing replay files.
#include "report.hpp"

#include "cli.hpp"
#include "plain.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <ostream>

namespace zokc {

namespace {

const char *severityName(Severity severity)
{
    switch (severity) {
    case Severity::Error:
        return "error";
    case Severity::Warning:
        return "warning";
    default:
        return "note";
    }
}

// "reached by choosing 2, then 1", the menu answers of a replay.
std::string choices(const std::vector<int32_t> &events)
{
    std::string text;
    for (const int32_t event : events)
        if (event >= 0)
            text += (text.empty() ? "reached by choosing " : ", then ") + std::to_string(event + 1);
    return text.empty() ? "reached without a choice" : text;
}

void writeReplay(const std::string &path, const std::vector<int32_t> &events)
{
    std::ofstream file(path, std::ios::trunc);
    for (const std::string &line : replayLines(events))
        file << line << '\n';
    if (!file.flush())
        throw cli::Exit{cli::EXIT_USAGE, "cannot write the replay file '" + path + "'"};
}

}  // namespace

std::string where(const MapStore &maps, Location at)
{
    const Map &map = maps.map(at.map);
    const uint32_t line = at.pos < map.lineOf.size() ? map.lineOf[at.pos] : 0;
    return map.path + ":" + std::to_string(line + 1) + ":" + std::to_string(map.column(line));
}

Diagnostic diagnose(const MapStore &maps, Location at, Severity severity, std::string name, std::string message)
{
    const Map &map = maps.map(at.map);
    const uint32_t line = at.pos < map.lineOf.size() ? map.lineOf[at.pos] : 0;
    Diagnostic diagnostic;
    diagnostic.file = map.path;
    diagnostic.line = line + 1;
    diagnostic.column = map.column(line);
    diagnostic.severity = severity;
    diagnostic.name = std::move(name);
    diagnostic.message = std::move(message);
    return diagnostic;
}

std::vector<std::string> replayLines(const std::vector<int32_t> &events)
{
    std::vector<std::string> lines{"zokc", ""};
    for (const int32_t event : events)
        lines.push_back(event < 0 ? "" : std::to_string(event + 1));
    return lines;
}

int Report::count(Severity severity) const
{
    return static_cast<int>(std::count_if(diagnostics_.begin(), diagnostics_.end(),
                                          [severity](const Diagnostic &d) { return d.severity == severity; }));
}

void Report::print(std::ostream &out, const std::string &replays)
{
    std::stable_sort(diagnostics_.begin(), diagnostics_.end(), [](const Diagnostic &a, const Diagnostic &b) {
        return std::tie(a.file, a.line, a.column) < std::tie(b.file, b.line, b.column);
    });
    if (!replays.empty()) {
        std::error_code error;
        std::filesystem::create_directories(replays, error);
    }
    int problems = 0;
    for (const Diagnostic &d : diagnostics_) {
        const std::string place = d.file + ":" + std::to_string(d.line) + ":" + std::to_string(d.column);
        out << plain::visible(place) << ": " << severityName(d.severity) << ": " << plain::visible(d.message)
            << " [-W" << d.name << "]\n";
        for (const Diagnostic::Note &note : d.notes)
            out << plain::visible(note.where.empty() ? place : note.where) << ": note: " << plain::visible(note.text)
                << '\n';
        if (!d.replay)
            continue;
        out << plain::visible(place) << ": note: " << choices(*d.replay) << '\n';
        if (!replays.empty() && d.severity != Severity::Note) {
            const std::string path = replays + "/" + std::to_string(++problems) + "-" + d.name + ".txt";
            writeReplay(path, *d.replay);
            out << plain::visible(place) << ": note: replay written to " << plain::visible(path) << '\n';
        }
    }
}

std::string plural(uint64_t count, const char *one, const char *many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace zokc
