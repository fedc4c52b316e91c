// zokc lsp: the language server on standard input and output, each message
// framed by a Content-Length header. Messages are handled as they come;
// problems are published once no message is waiting, so that a burst of
// edits is checked once.
#include "cli.hpp"
#include "commands.hpp"
#include "server.hpp"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr const char *HELP =
    "usage: zokc lsp [--stdio]\n"
    "\n"
    "Runs the language server for zok maps on standard input and output, for\n"
    "an editor to start: problems as zokc check finds them while you type, go\n"
    "to definition and references of maps and variables, hover, completion,\n"
    "the outline of a map, renaming and quick fixes. The game is the folder of\n"
    "the map opened. --stdio is accepted, and is the only way. When a map is\n"
    "saved, zokc explore plays the game in the background (at most 100000\n"
    "states and 20 seconds) and its problems are shown too.\n"
    "\n"
    "Exit status: 0 after the client's shutdown and exit, 1 when the input\n"
    "ends without them.\n";

// Bodies larger than this are read and dropped.
constexpr size_t MAX_BODY = 256u << 20;

// zokc explore on a game after a save, in a process of its own, so that the
// server goes on answering; stopped when it runs too long.
constexpr const char *EXPLORE_STATES = "100000";
constexpr auto EXPLORE_TIME = std::chrono::seconds(20);

struct Explore {
    std::string dir;
    pid_t pid = -1;
    int fd = -1;
    std::string report;
    std::chrono::steady_clock::time_point deadline;

    bool start(const std::string &folder)
    {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::string states = EXPLORE_STATES, path = folder;
        char name[] = "zokc", command[] = "explore", option[] = "--max-states";
        char *argv[] = {name, command, option, states.data(), path.data(), nullptr};
        const int failed = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        if (failed != 0) {
            close(out[0]);
            return false;
        }
        dir = folder;
        fd = out[0];
        report.clear();
        deadline = std::chrono::steady_clock::now() + EXPLORE_TIME;
        return true;
    }

    void stop()
    {
        kill(pid, SIGKILL);
        close(fd);
        waitpid(pid, nullptr, 0);
        fd = -1;
    }
};

bool writeAll(const std::string &data)
{
    for (size_t done = 0; done < data.size();) {
        const ssize_t n = write(STDOUT_FILENO, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool waiting()
{
    pollfd in{STDIN_FILENO, POLLIN, 0};
    return poll(&in, 1, 0) > 0;
}

// Waits for input, or for the explore running to report or run out of time,
// which is handed to the server. True when input is waiting.
bool await(lsp::Server &server, Explore &explore)
{
    if (explore.fd < 0)
        return true;
    for (;;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {explore.fd, POLLIN, 0}};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(explore.deadline -
                                                                                std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            explore.stop();
            return true;
        }
        if (poll(fds, 2, static_cast<int>(left.count()) + 1) < 0 && errno != EINTR)
            return true;
        if (fds[1].revents != 0) {
            char block[1 << 16];
            const ssize_t n = read(explore.fd, block, sizeof block);
            if (n > 0) {
                explore.report.append(block, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(explore.fd);
                waitpid(explore.pid, nullptr, 0);
                explore.fd = -1;
                server.explored(explore.dir, explore.report);
                server.idle();
                return true;
            }
        }
        if (fds[0].revents != 0)
            return true;
    }
}

// Content-Length of a header block, or nothing when it has none that reads.
// The last one counts, wherever it starts, so that the stream finds its
// feet after bytes that were no message.
std::optional<size_t> contentLength(std::string_view headers)
{
    constexpr std::string_view NAME = "content-length:";
    std::string lower(headers);
    for (char &ch : lower)
        ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
    const size_t at = lower.rfind(NAME);
    if (at == std::string::npos)
        return std::nullopt;
    std::string_view value = headers.substr(at + NAME.size());
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    size_t length = 0, digits = 0;
    for (; digits < value.size() && isdigit(static_cast<unsigned char>(value[digits])) && length <= MAX_BODY * 8;
         digits++)
        length = length * 10 + static_cast<size_t>(value[digits] - '0');
    if (digits == 0)
        return std::nullopt;
    return length;
}

}  // namespace

int lspCommand(int argc, char **argv)
{
    cli::Args args(argc, argv, HELP);
    while (args.more())
        if (!args.flag("--stdio"))
            cli::usage("no folder is taken: the game is the folder of each map the editor opens");
    signal(SIGPIPE, SIG_IGN);

    bool broken = false;
    lsp::Server server([&](const lsp::json &message) {
        const std::string body = message.dump(-1, ' ', false, lsp::json::error_handler_t::replace);
        broken |= !writeAll("Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    });
    Explore explore;
    std::string exploreNext;  // the game saved while explore ran, or empty
    server.onSave = [&](const std::string &dir) { exploreNext = dir; };
    std::string input;
    size_t skip = 0;  // bytes of a body too large to keep
    char block[1 << 16];
    for (;;) {
        // Every whole message in hand.
        for (;;) {
            if (skip > 0) {
                const size_t n = std::min(skip, input.size());
                input.erase(0, n);
                skip -= n;
                if (skip > 0)
                    break;
            }
            size_t end = input.find("\r\n\r\n"), gap = 4;
            if (const size_t bare = input.find("\n\n"); bare < end)
                end = bare, gap = 2;
            if (end == std::string::npos)
                break;
            const std::optional<size_t> length = contentLength(std::string_view(input).substr(0, end));
            if (!length) {
                server.error(nullptr, -32700, "a message without a Content-Length header");
                input.erase(0, end + gap);
                continue;
            }
            if (*length > MAX_BODY) {
                server.error(nullptr, -32700, "a message larger than 256 MiB");
                input.erase(0, end + gap);
                skip = *length;
                continue;
            }
            if (input.size() < end + gap + *length)
                break;
            server.receive(std::string_view(input).substr(end + gap, *length));
            input.erase(0, end + gap + *length);
            if (server.exitStatus()) {
                if (explore.fd >= 0)
                    explore.stop();
                return *server.exitStatus();
            }
        }
        if (broken)
            return cli::EXIT_PROBLEMS;
        if (!exploreNext.empty()) {
            if (explore.fd >= 0)
                explore.stop();
            explore.start(exploreNext);
            exploreNext.clear();
        }
        if (!waiting()) {
            server.idle();
            await(server, explore);
        }
        const ssize_t n = read(STDIN_FILENO, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (explore.fd >= 0)
                explore.stop();
            return cli::EXIT_PROBLEMS;
        }
        input.append(block, static_cast<size_t>(n));
    }
}
