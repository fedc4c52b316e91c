// What every zokc command shares: reading its options and its game folder,
// and the exit statuses authors' tools agree on.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace cli {

constexpr int EXIT_OK = 0;        // all is well
constexpr int EXIT_PROBLEMS = 1;  // the command found a problem in the game
constexpr int EXIT_USAGE = 2;     // bad usage, or a folder that cannot be read

// Thrown to end the command with a status and, unless empty, a one-line
// message on standard error.
struct Exit {
    int status;
    std::string message;
};

// Walks a command's arguments: options first match by name (as "--name
// VALUE" or "--name=VALUE"), anything else is the game folder. "-h" and
// "--help" print the command's help and end it.
class Args {
public:
    Args(int argc, char **argv, const char *help);

    bool more() const { return at_ < argc_; }
    bool flag(std::string_view name);
    bool option(std::string_view name, std::string &value);
    bool number(std::string_view name, uint64_t &value);
    // An argument that begins with prefix, such as "-Wno-NAME"; rest is what
    // follows the prefix.
    bool prefixed(std::string_view prefix, std::string &rest);
    // Takes the argument as the game folder, or fails as an unknown option.
    void folder();

    // The game folder given (default "game"); fails unless it can be read.
    std::string dir() const;

private:
    bool named(std::string_view name, std::string *value);

    int argc_;
    char **argv_;
    int at_ = 1;
    std::string dir_;
    bool dirGiven_ = false;
};

// Bad usage: the message, then where to look for help.
[[noreturn]] void usage(const std::string &message);

// How far a long command has come, as one line on standard error that is
// written over: only when standard error is a terminal, from the command's
// first second on, at most a few times a second; cleared when it ends.
class Progress {
public:
    explicit Progress(std::string command);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    // Whether to show the line now: cheap enough to ask often.
    bool due();
    void show(const std::string &text);
    // Clears the line (the report follows).
    void done();

private:
    std::string command_;
    bool terminal_, shown_ = false;
    uint32_t asked_ = 0;
    int64_t next_;  // when the line may be written next, in ms
};

}  // namespace cli
