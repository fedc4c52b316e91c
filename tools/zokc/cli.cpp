// Option reading for the zokc commands.
#include "cli.hpp"

#include <cerrno>
#include <chrono>
#include <charconv>
#include <cstring>
#include <dirent.h>
#include <iostream>
#include <unistd.h>

namespace cli {

void usage(const std::string &message)
{
    throw Exit{EXIT_USAGE, message + " (see --help)"};
}

Args::Args(int argc, char **argv, const char *help) : argc_(argc), argv_(argv)
{
    for (int i = 1; i < argc; i++) {
        const std::string_view arg = argv[i];
        if (arg == "--")
            break;
        if (arg == "-h" || arg == "--help") {
            std::cout << help;
            throw Exit{EXIT_OK, ""};
        }
    }
}

bool Args::named(std::string_view name, std::string *value)
{
    const std::string_view arg = argv_[at_];
    if (arg == name) {
        if (!value) {
            at_++;
            return true;
        }
        if (at_ + 1 >= argc_)
            usage(std::string(name) + " needs a value");
        *value = argv_[at_ + 1];
        at_ += 2;
        return true;
    }
    if (value && arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=') {
        *value = arg.substr(name.size() + 1);
        at_++;
        return true;
    }
    return false;
}

bool Args::flag(std::string_view name)
{
    return named(name, nullptr);
}

bool Args::option(std::string_view name, std::string &value)
{
    return named(name, &value);
}

bool Args::number(std::string_view name, uint64_t &value)
{
    std::string text;
    if (!named(name, &text))
        return false;
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end)
        usage(std::string(name) + " takes a whole number, not '" + text + "'");
    return true;
}

bool Args::prefixed(std::string_view prefix, std::string &rest)
{
    const std::string_view arg = argv_[at_];
    if (!arg.starts_with(prefix))
        return false;
    rest = arg.substr(prefix.size());
    at_++;
    return true;
}

void Args::folder()
{
    std::string_view arg = argv_[at_++];
    if (arg == "--" && at_ < argc_)
        arg = argv_[at_++];
    else if (arg.starts_with("-") && arg != "-")
        usage("unknown option '" + std::string(arg) + "'");
    if (dirGiven_)
        usage("one game folder at most, not also '" + std::string(arg) + "'");
    dir_ = arg;
    dirGiven_ = true;
}

std::string Args::dir() const
{
    const std::string dir = dirGiven_ ? dir_ : "game";
    DIR *listing = opendir(dir.c_str());
    if (!listing)
        throw Exit{EXIT_USAGE, "cannot read the game folder '" + dir + "': " + strerror(errno)};
    closedir(listing);
    return dir;
}

namespace {

int64_t nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

Progress::Progress(std::string command)
    : command_(std::move(command)), terminal_(isatty(STDERR_FILENO) == 1), next_(nowMs() + 1000)
{
}

Progress::~Progress()
{
    done();
}

void Progress::done()
{
    if (shown_)
        std::cerr << "\r\033[K" << std::flush;
    shown_ = false;
}

bool Progress::due()
{
    if (!terminal_ || ++asked_ % 64 != 0)
        return false;
    return nowMs() >= next_;
}

void Progress::show(const std::string &text)
{
    next_ = nowMs() + 200;
    shown_ = true;
    std::cerr << "\r\033[K" << command_ << ": " << text << std::flush;
}

}  // namespace cli
