// Replay files: the answers of a playthrough, one a line, as zokc play
// --record writes them, zokc explore and zokc random --replays write them,
// and zokc play --replay (or its standard input) reads them:
//
//   # zokc replay        the first line, which marks the file as one of ours
//   Ann                  the player's name
//                        an empty line for each key wait
//   2 Take the lamp      a menu answer: the option's number and its label
//
// The label is the one the menu showed, its blanks at both ends trimmed and
// control bytes in caret notation; on replay a label that the menu no longer
// shows at that number stops play. Lines with a number alone (files from
// before labels were kept) are taken as they are.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace replay {

constexpr std::string_view HEADER = "# zokc replay";
// The longest answer line read, in bytes: a name or a number and its label.
constexpr size_t MAX_LINE = 4096;

// A file that cannot be read or written; the message names it and says why.
struct Failed {
    std::string message;
    bool refused = false;  // a file is in the way, which was left alone
};

// One prompt of a playthrough: a key wait (choice -1) or a menu answer (the
// 0-based option and its label as recorded).
struct Step {
    int32_t choice;
    std::string label;
    bool operator==(const Step &) const = default;
};

// A menu label as the menu shows it and a replay records it.
std::string label(std::string_view text);
// The line of a step: empty for a key wait, "N label" for an answer.
std::string line(const Step &step);

// An answer line taken apart: the number it starts with (0 when it is not a
// number) and the label after it (empty when there is none).
struct Answer {
    size_t number = 0;
    std::string_view label;
};
Answer parse(std::string_view line);

// Reads a file a line at a time, never more than MAX_LINE bytes to a line.
// A first line that is the HEADER is passed over.
class Reader {
public:
    // Reads fd (not closed here); name is the file's name in "name:line"
    // and what how a read error names it ("the replay file 'x'").
    Reader(int fd, std::string name, std::string what);
    // Opens path; fails with the reason when it cannot be read.
    Reader(const std::string &path, std::string what);
    ~Reader();
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    // The next line without its line end, false at the end of the file;
    // fails when the file cannot be read or the line is too long.
    bool next(std::string &line);
    const std::string &name() const { return name_; }
    size_t lineNumber() const { return line_; }

private:
    bool fill();

    int fd_;
    bool owned_;
    std::string name_, what_;
    std::string buffer_;
    size_t at_ = 0;
    size_t line_ = 0;
    bool ended_ = false;
};

// Where a record is kept while play goes on: a new file next to path, which
// replaces path only when commit() is called; otherwise (a failure, or
// SIGINT, SIGTERM, SIGHUP or SIGPIPE) it is removed and what path held is left
// whole. A path that is not a regular file (a device, a pipe) is written
// directly. Refuses a path that is one of the files in `keep`.
class Record {
public:
    struct Kept {
        dev_t dev;
        ino_t ino;
        std::string what;  // how a refusal names it: "the replay file 'x'"
    };
    Record(const std::string &path, const std::vector<Kept> &keep);
    ~Record();
    Record(const Record &) = delete;
    Record &operator=(const Record &) = delete;

    // Appends a line; fails when it cannot be written.
    void add(std::string_view line);
    void commit();

private:
    [[noreturn]] void fail(const std::string &doing);
    void discard();
    void disarm();

    std::string path_, temp_;
    int fd_ = -1;
};

// The identity of an existing file, for Record's keep list; false when it
// does not exist.
bool identify(const std::string &path, std::string what, std::vector<Record::Kept> &into);

// Writes a replay that reaches the steps (after the name "zokc" and the
// greeting's key wait) to path, replacing only a replay file written
// before and never following a symbolic link; fails with the reason.
void write(const std::string &path, const std::vector<Step> &steps);

}  // namespace replay
