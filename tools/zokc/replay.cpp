// Replay files: one writer and one reader for every command, and the safe
// ways to put a file in place.
#include "replay.hpp"

#include "plain.hpp"

#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace replay {

namespace {

constexpr std::string_view BLANKS = " \t\r";

std::string_view trimmed(std::string_view text)
{
    const size_t first = text.find_first_not_of(BLANKS);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(BLANKS) - first + 1);
}

std::string reason(int error = errno)
{
    return strerror(error);
}

// Writes all of text to fd; false with errno set when it cannot.
bool writeAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t done = ::write(fd, text.data(), text.size());
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        text.remove_prefix(static_cast<size_t>(done));
    }
    return true;
}

// A new file next to path, created with O_EXCL so that nothing planted
// there is followed; its name is left in temp.
int createNextTo(const std::string &path, std::string &temp)
{
    temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        temp.clear();
    return fd;
}

// The mode a file created at path gets: that of the file it replaces, or
// what the umask leaves of rw-rw-rw-.
mode_t modeFor(const struct stat *replaced)
{
    if (replaced)
        return replaced->st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// The record's temporary file, for the signal handler to remove.
char pending[PATH_MAX];
volatile sig_atomic_t armed = 0;
constexpr int SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
struct sigaction before[std::size(SIGNALS)];

extern "C" void removePending(int signal)
{
    if (armed)
        unlink(pending);
    ::signal(signal, SIG_DFL);
    raise(signal);
}

}  // namespace

std::string label(std::string_view text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return plain::visible(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

std::string line(const Step &step)
{
    if (step.choice < 0)
        return {};
    const std::string number = std::to_string(step.choice + 1);
    return step.label.empty() ? number : number + " " + step.label;
}

Answer parse(std::string_view text)
{
    text = trimmed(text);
    Answer answer;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), answer.number);
    const std::string_view rest = text.substr(static_cast<size_t>(end - text.data()));
    if (error != std::errc() || (!rest.empty() && rest.front() != ' ' && rest.front() != '\t'))
        return {};
    answer.label = trimmed(rest);
    return answer;
}

Reader::Reader(int fd, std::string name, std::string what)
    : fd_(fd), owned_(false), name_(std::move(name)), what_(std::move(what))
{
}

Reader::Reader(const std::string &path, std::string what)
    : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)), owned_(true), name_(path), what_(std::move(what))
{
    if (fd_ < 0)
        throw Failed{"cannot read " + what_ + ": " + reason()};
}

Reader::~Reader()
{
    if (owned_)
        close(fd_);
}

// Reads more of the file into the buffer; false at its end.
bool Reader::fill()
{
    if (ended_)
        return false;
    buffer_.erase(0, at_);
    at_ = 0;
    char chunk[4096];
    ssize_t got;
    while ((got = read(fd_, chunk, sizeof chunk)) < 0 && errno == EINTR) {
    }
    if (got < 0)
        throw Failed{"cannot read " + what_ + ": " + reason()};
    if (got == 0)
        ended_ = true;
    buffer_.append(chunk, static_cast<size_t>(got));
    return got > 0;
}

bool Reader::next(std::string &line)
{
    for (;;) {
        size_t end = buffer_.find('\n', at_);
        const bool more = end != std::string::npos || fill();
        if (end == std::string::npos)
            end = buffer_.find('\n', at_);
        if (end == std::string::npos && more && buffer_.size() - at_ <= MAX_LINE)
            continue;
        if (end == std::string::npos && buffer_.size() == at_)
            return false;
        const size_t length = (end == std::string::npos ? buffer_.size() : end) - at_;
        line_++;
        if (length > MAX_LINE)
            throw Failed{name_ + ":" + std::to_string(line_) + ": the line is longer than " +
                         std::to_string(MAX_LINE) + " bytes"};
        line.assign(buffer_, at_, length);
        at_ += length + (end != std::string::npos);
        if (line_ == 1 && trimmed(line) == HEADER)
            continue;
        return true;
    }
}

bool identify(const std::string &path, std::string what, std::vector<Record::Kept> &into)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return false;
    into.push_back({st.st_dev, st.st_ino, std::move(what)});
    return true;
}

Record::Record(const std::string &path, const std::vector<Kept> &keep) : path_(path)
{
    struct stat st;
    const bool exists = stat(path.c_str(), &st) == 0;
    if (exists) {
        for (const Kept &kept : keep)
            if (kept.dev == st.st_dev && kept.ino == st.st_ino)
                throw Failed{"will not record over " + kept.what};
        if (S_ISDIR(st.st_mode))
            throw Failed{"cannot write the record file '" + path + "': " + reason(EISDIR)};
        if (!S_ISREG(st.st_mode)) {
            // A device or a pipe takes the answers as they come.
            fd_ = open(path.c_str(), O_WRONLY | O_CLOEXEC);
            if (fd_ < 0)
                fail("write");
            add(HEADER);
            return;
        }
        // Through a link, the file it names is replaced, not the link.
        if (char *real = realpath(path.c_str(), nullptr)) {
            path_ = real;
            free(real);
        }
    }
    if (path_.size() + 8 > sizeof pending) {
        errno = ENAMETOOLONG;
        fail("write");
    }
    fd_ = createNextTo(path_, temp_);
    if (fd_ < 0)
        fail("write");
    if (fchmod(fd_, modeFor(exists ? &st : nullptr)) != 0)
        fail("write");
    memcpy(pending, temp_.c_str(), temp_.size() + 1);
    armed = 1;
    struct sigaction remove {};
    remove.sa_handler = removePending;
    sigemptyset(&remove.sa_mask);
    for (size_t i = 0; i < std::size(SIGNALS); i++)
        sigaction(SIGNALS[i], &remove, &before[i]);
    add(HEADER);
}

Record::~Record()
{
    discard();
}

void Record::discard()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    if (!temp_.empty()) {
        unlink(temp_.c_str());
        disarm();
    }
}

void Record::disarm()
{
    temp_.clear();
    if (!armed)
        return;
    armed = 0;
    for (size_t i = 0; i < std::size(SIGNALS); i++)
        sigaction(SIGNALS[i], &before[i], nullptr);
}

void Record::fail(const std::string &doing)
{
    const int error = errno;
    discard();
    throw Failed{"cannot " + doing + " the record file '" + path_ + "': " + reason(error)};
}

void Record::add(std::string_view text)
{
    if (!writeAll(fd_, text) || !writeAll(fd_, "\n"))
        fail("write");
}

void Record::commit()
{
    if (fd_ < 0)
        return;
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0 || (!temp_.empty() && rename(temp_.c_str(), path_.c_str()) != 0))
        fail("write");
    disarm();
}

namespace {

// True when the file at path is a replay zokc wrote: one that starts with
// the HEADER, or one from before it (the name "zokc", then only empty lines
// and numbers).
bool ours(const std::string &path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool is = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    Reader reader(fd, path, "'" + path + "'");
    std::string text;
    try {
        is = is && reader.next(text);
        if (is && reader.lineNumber() == 1) {  // no header: from before labels were kept
            is = text == "zokc";
            while (is && reader.next(text)) {
                const Answer answer = parse(text);
                is = text.empty() || (answer.number > 0 && answer.label.empty());
            }
        }
    } catch (const Failed &) {
        is = false;
    }
    close(fd);
    return is;
}

}  // namespace

void write(const std::string &path, const std::vector<Step> &steps)
{
    struct stat st;
    const bool exists = lstat(path.c_str(), &st) == 0;
    if (exists && (!S_ISREG(st.st_mode) || !ours(path)))
        throw Failed{"will not replace '" + path + "': " +
                         (S_ISLNK(st.st_mode) ? "it is a symbolic link" : "it is not a replay file"),
                     true};
    std::string text = std::string(HEADER) + "\nzokc\n\n";
    for (const Step &step : steps)
        text += line(step) + '\n';
    std::string temp;
    const int fd = createNextTo(path, temp);
    if (fd < 0)
        throw Failed{"cannot write the replay file '" + path + "': " + reason()};
    const bool written = fchmod(fd, modeFor(nullptr)) == 0 && writeAll(fd, text);
    const int error = errno;
    if (close(fd) != 0 || !written || rename(temp.c_str(), path.c_str()) != 0) {
        const int why = written ? errno : error;
        unlink(temp.c_str());
        throw Failed{"cannot write the replay file '" + path + "': " + reason(why)};
    }
}

}  // namespace replay
