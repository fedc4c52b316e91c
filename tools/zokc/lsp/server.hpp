// zokc lsp's protocol: the Language Server Protocol's messages about zok
// maps, answered from the games their folders hold. Framing is the
// caller's: it hands over each message's body and sends what comes back.
#pragma once
#include "game.hpp"

#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>

namespace lsp {

using json = nlohmann::json;

class Server {
public:
    explicit Server(std::function<void(const json &)> send) : send_(std::move(send)) {}

    // One message as it came: malformed ones are answered with the
    // protocol's error, or ignored when they are notifications.
    void receive(std::string_view body);
    // No message is waiting: publishes the problems that changed.
    void idle();
    // The status to end with once the client said exit, or nothing.
    std::optional<int> exitStatus() const { return exit_; }
    // Called with a game's folder when one of its maps is saved, for
    // zokc explore to be run on it.
    std::function<void(const std::string &dir)> onSave;
    // zokc explore's report on the game in dir: its errors and warnings are
    // published with the checks' problems until the next report.
    void explored(const std::string &dir, std::string_view report);
    // Sends an error response (id null for a message that could not be read).
    void error(const json &id, int code, const std::string &message);

private:
    struct GameState {
        std::unique_ptr<Game> game;
        std::map<std::string, json> published;  // diagnostics last sent, by URI
        std::set<std::string> opened;           // URIs opened since, to be sent even when empty
        std::vector<diag::Diagnostic> explored;  // zokc explore's problems at the last save
        bool dirty = true;
    };
    struct Doc {
        GameState *state;
        std::string map;
        int64_t version = 0;
    };
    // Where a request points: a map of a game, and a byte of its text.
    struct Target {
        GameState *state = nullptr;
        std::string map;
        uint32_t offset = 0;
    };

    json request(const std::string &method, const json &params);
    void notification(const std::string &method, const json &params);

    GameState *gameOf(const std::string &uri, std::string &map, bool create);
    std::optional<Target> target(const json &params);
    std::string uriOf(const GameState &state, std::string_view map) const;
    json range(const Game &game, std::string_view map, Span span) const;
    json location(const Game &game, const Place &place) const;
    void publish(GameState &state);

    json initialize(const json &params);
    void changed(const json &params);
    json definition(const json &params);
    json references(const json &params);
    json hover(const json &params);
    json completion(const json &params);
    json symbols(const json &params);
    json prepareRename(const json &params);
    json rename(const json &params);
    json codeActions(const json &params);

    std::function<void(const json &)> send_;
    std::map<std::string, std::unique_ptr<GameState>> games_;  // by folder
    std::map<std::string, Doc> docs_;                          // open documents, by URI
    bool initialized_ = false, shutdown_ = false, utf8_ = false, renameFiles_ = false;
    std::optional<int> exit_;
};

}  // namespace lsp
