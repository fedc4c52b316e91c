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

#include <poll.h>
#include <unistd.h>

namespace {

constexpr const char *HELP =
    "usage: zokc lsp [--stdio]\n"
    "\n"
    "Runs the language server for zok maps on standard input and output, for\n"
    "an editor to start: problems as zokc check finds them while you type, go\n"
    "to definition and references of maps and variables, hover, completion,\n"
    "the outline of a map, renaming and quick fixes. The game is the folder of\n"
    "the map opened. --stdio is accepted, and is the only way.\n"
    "\n"
    "Exit status: 0 after the client's shutdown and exit, 1 when the input\n"
    "ends without them.\n";

// Bodies larger than this are read and dropped.
constexpr size_t MAX_BODY = 256u << 20;

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
            cli::usage("zokc lsp takes no folder: the game is the folder of each map the editor opens");
    signal(SIGPIPE, SIG_IGN);

    bool broken = false;
    lsp::Server server([&](const lsp::json &message) {
        const std::string body = message.dump(-1, ' ', false, lsp::json::error_handler_t::replace);
        broken |= !writeAll("Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    });
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
            if (server.exitStatus())
                return *server.exitStatus();
        }
        if (broken)
            return cli::EXIT_PROBLEMS;
        if (!waiting())
            server.idle();
        const ssize_t n = read(STDIN_FILENO, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return cli::EXIT_PROBLEMS;
        input.append(block, static_cast<size_t>(n));
    }
}
