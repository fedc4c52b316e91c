#include "server.hpp"

#include "directives.hpp"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include <limits.h>
#include <stdlib.h>

namespace lsp {

namespace {

// The protocol's error codes.
constexpr int PARSE_ERROR = -32700, INVALID_REQUEST = -32600, METHOD_NOT_FOUND = -32601, INVALID_PARAMS = -32602,
              INTERNAL_ERROR = -32603, NOT_INITIALIZED = -32002, REQUEST_FAILED = -32803;

struct Failure {
    int code;
    std::string message;
};

// Lines of a text, and positions in them counted in UTF-16 code units (the
// protocol's default) or in bytes.
class Lines {
public:
    Lines(const std::string &text, bool utf8) : text_(text), utf8_(utf8)
    {
        starts_.push_back(0);
        for (size_t i = text.find('\n'); i != std::string::npos; i = text.find('\n', i + 1))
            starts_.push_back(static_cast<uint32_t>(i + 1));
    }

    json position(uint32_t offset) const
    {
        offset = std::min<uint32_t>(offset, static_cast<uint32_t>(text_.size()));
        const size_t line = std::ranges::upper_bound(starts_, offset) - starts_.begin() - 1;
        uint32_t character = 0;
        for (uint32_t i = starts_[line]; i < offset; i++)
            character += units(static_cast<unsigned char>(text_[i]));
        return {{"line", line}, {"character", character}};
    }

    uint32_t offset(const json &position) const
    {
        const uint64_t line = position.at("line").get<uint64_t>();
        uint64_t character = position.at("character").get<uint64_t>();
        if (line >= starts_.size())
            return static_cast<uint32_t>(text_.size());
        const uint32_t end = line + 1 < starts_.size() ? starts_[line + 1] - 1 : static_cast<uint32_t>(text_.size());
        uint32_t at = starts_[line];
        while (at < end && character > 0) {
            const uint32_t count = units(static_cast<unsigned char>(text_[at]));
            if (count > character)
                break;
            character -= count;
            // Past the rest of the character.
            for (at++; at < end && (static_cast<unsigned char>(text_[at]) & 0xC0) == 0x80; at++) {
            }
        }
        return at;
    }

    json range(Span span) const { return {{"start", position(span.start)}, {"end", position(span.end)}}; }

private:
    // The code units of the character a byte begins (0 for the bytes that
    // follow in a UTF-8 sequence).
    uint32_t units(unsigned char byte) const
    {
        if (utf8_)
            return 1;
        if ((byte & 0xC0) == 0x80)
            return 0;
        return byte >= 0xF0 ? 2 : 1;
    }

    const std::string &text_;
    bool utf8_;
    std::vector<uint32_t> starts_;
};

bool hasItem(const json &object, std::initializer_list<const char *> path, std::string_view item)
{
    const json *at = &object;
    for (const char *key : path) {
        if (!at->is_object() || !at->contains(key))
            return false;
        at = &(*at)[key];
    }
    if (!at->is_array())
        return false;
    return std::ranges::any_of(*at, [&](const json &x) { return x.is_string() && x.get<std::string>() == item; });
}

int hex(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

// The path a file: URI names, or nothing for other schemes.
std::optional<std::string> pathOfUri(std::string_view uri)
{
    constexpr std::string_view SCHEME = "file://";
    if (!uri.starts_with(SCHEME))
        return std::nullopt;
    uri.remove_prefix(SCHEME.size());
    std::string path;
    for (size_t i = 0; i < uri.size(); i++) {
        if (uri[i] == '%' && i + 2 < uri.size() && hex(uri[i + 1]) >= 0 && hex(uri[i + 2]) >= 0) {
            path += static_cast<char>(hex(uri[i + 1]) * 16 + hex(uri[i + 2]));
            i += 2;
        } else {
            path += uri[i];
        }
    }
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos)
        return std::nullopt;
    return path;
}

std::string uriOfPath(std::string_view path)
{
    static constexpr char DIGITS[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const char ch : path) {
        const auto byte = static_cast<unsigned char>(ch);
        if (isalnum(byte) || std::string_view("/-._~").find(ch) != std::string_view::npos)
            uri += ch;
        else
            uri += {'%', DIGITS[byte >> 4], DIGITS[byte & 15]};
    }
    return uri;
}

std::string fileName(std::string_view map)
{
    return std::string(map) + ".zok";
}

// The value a '.set' text gives its variable: 1 without a number.
std::string setValue(std::string_view set)
{
    const size_t space = set.find(' ');
    if (space == std::string_view::npos)
        return "1";
    return std::to_string(std::atoi(std::string(set.substr(space + 1)).c_str()));
}

bool validName(std::string_view name, std::string_view forbidden)
{
    return !name.empty() && name.find_first_of(forbidden) == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

// A number of at most nine digits, the whole of text.
std::optional<uint32_t> number(std::string_view text)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    return static_cast<uint32_t>(std::stoul(std::string(text)));
}

struct Where {
    std::string file;
    uint32_t line, col;
};

// "file:line:col", read from its end (a file name may hold ':').
std::optional<Where> splitPlace(std::string_view where)
{
    const size_t second = where.rfind(':');
    if (second == std::string_view::npos || second == 0)
        return std::nullopt;
    const size_t first = where.rfind(':', second - 1);
    if (first == std::string_view::npos)
        return std::nullopt;
    const auto line = number(where.substr(first + 1, second - first - 1)), col = number(where.substr(second + 1));
    if (!line || !col)
        return std::nullopt;
    return Where{std::string(where.substr(0, first)), *line, *col};
}

// "gold 5" for the '.set' texts "gold = 5" and "gold=5", or nothing.
std::optional<std::string> withoutEquals(std::string_view set)
{
    const size_t end = set.find_first_of(" =");
    if (end == 0 || end == std::string_view::npos)
        return std::nullopt;
    const std::string_view name = set.substr(0, end);
    set.remove_prefix(end);
    auto blanks = [&] {
        while (set.starts_with(' '))
            set.remove_prefix(1);
    };
    blanks();
    if (!set.starts_with('='))
        return std::nullopt;
    set.remove_prefix(1);
    blanks();
    std::string value;
    if (set.starts_with('-') || set.starts_with('+'))
        value += set.front(), set.remove_prefix(1);
    const size_t digits = std::min(set.find_first_not_of("0123456789"), set.size());
    if (digits == 0)
        return std::nullopt;
    value += set.substr(0, digits);
    set.remove_prefix(digits);
    blanks();
    if (!set.empty())
        return std::nullopt;
    return std::string(name) + " " + value;
}

json textEdit(const json &range, const std::string &text)
{
    return {{"range", range}, {"newText", text}};
}

}  // namespace

void Server::error(const json &id, int code, const std::string &message)
{
    send_({{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

void Server::receive(std::string_view body)
{
    const json message = json::parse(body, nullptr, false);
    if (message.is_discarded()) {
        error(nullptr, PARSE_ERROR, "the message is not JSON");
        return;
    }
    if (!message.is_object()) {
        error(nullptr, INVALID_REQUEST, "the message is not a JSON object");
        return;
    }
    const bool isRequest = message.contains("id");
    const json id = isRequest ? message["id"] : json();
    if (isRequest && !id.is_number_integer() && !id.is_string()) {
        error(nullptr, INVALID_REQUEST, "the id is neither a number nor a string");
        return;
    }
    if (!message.contains("method")) {
        return;  // a response to a request of ours
    }
    if (!message["method"].is_string()) {
        if (isRequest)
            error(id, INVALID_REQUEST, "the method is not a string");
        return;
    }
    const std::string method = message["method"];
    const json params = message.contains("params") ? message["params"] : json::object();
    try {
        if (!isRequest) {
            notification(method, params);
            return;
        }
        if (!initialized_ && method != "initialize") {
            error(id, NOT_INITIALIZED, "the server is not initialized");
            return;
        }
        if (shutdown_) {
            error(id, INVALID_REQUEST, "the server is shut down");
            return;
        }
        json result = request(method, params);
        send_({{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}});
    } catch (const Failure &failure) {
        if (isRequest)
            error(id, failure.code, failure.message);
    } catch (const json::exception &e) {
        if (isRequest)
            error(id, INVALID_PARAMS, std::string("bad parameters: ") + e.what());
    } catch (const std::exception &e) {
        if (isRequest)
            error(id, INTERNAL_ERROR, e.what());
    }
}

json Server::request(const std::string &method, const json &params)
{
    if (method == "initialize")
        return initialize(params);
    if (method == "shutdown") {
        shutdown_ = true;
        return nullptr;
    }
    if (method == "textDocument/definition")
        return definition(params);
    if (method == "textDocument/references")
        return references(params);
    if (method == "textDocument/hover")
        return hover(params);
    if (method == "textDocument/completion")
        return completion(params);
    if (method == "textDocument/documentSymbol")
        return symbols(params);
    if (method == "textDocument/prepareRename")
        return prepareRename(params);
    if (method == "textDocument/rename")
        return rename(params);
    if (method == "textDocument/codeAction")
        return codeActions(params);
    throw Failure{METHOD_NOT_FOUND, "no method " + method};
}

void Server::notification(const std::string &method, const json &params)
{
    if (method == "exit") {
        exit_ = shutdown_ ? 0 : 1;
        return;
    }
    if (method == "initialized" || !initialized_)
        return;
    if (method == "textDocument/didOpen") {
        const json &doc = params.at("textDocument");
        const std::string uri = doc.at("uri");
        std::string map;
        GameState *state = gameOf(uri, map, true);
        if (!state)
            return;
        state->game->setText(map, doc.at("text").get<std::string>());
        docs_[uri] = {state, map, doc.value("version", int64_t{0})};
        state->opened.insert(uri);
        state->dirty = true;
    } else if (method == "textDocument/didChange") {
        changed(params);
    } else if (method == "textDocument/didSave" || method == "textDocument/didClose") {
        const std::string uri = params.at("textDocument").at("uri");
        const auto doc = docs_.find(uri);
        if (doc == docs_.end())
            return;
        GameState &state = *doc->second.state;
        if (method == "textDocument/didClose") {
            state.game->dropText(doc->second.map);
            docs_.erase(doc);
        } else {
            state.game->refresh();
            if (onSave)
                onSave(state.game->dir());
        }
        state.dirty = true;
    } else if (method == "workspace/didChangeWatchedFiles") {
        for (auto &[dir, state] : games_) {
            state->game->refresh();
            state->dirty = true;
        }
    }
}

json Server::initialize(const json &params)
{
    initialized_ = true;
    const json &capabilities = params.value("capabilities", json::object());
    utf8_ = hasItem(capabilities, {"general", "positionEncodings"}, "utf-8");
    renameFiles_ = hasItem(capabilities, {"workspace", "workspaceEdit", "resourceOperations"}, "rename");
    return {
        {"capabilities",
         {{"positionEncoding", utf8_ ? "utf-8" : "utf-16"},
          {"textDocumentSync", {{"openClose", true}, {"change", 2}, {"save", {{"includeText", false}}}}},
          {"definitionProvider", true},
          {"referencesProvider", true},
          {"hoverProvider", true},
          {"completionProvider", {{"triggerCharacters", {".", " ", "&"}}}},
          {"documentSymbolProvider", true},
          {"renameProvider", {{"prepareProvider", true}}},
          {"codeActionProvider", {{"codeActionKinds", {"quickfix"}}}}}},
        {"serverInfo", {{"name", "zokc lsp"}, {"version", "0.1"}}},
    };
}

Server::GameState *Server::gameOf(const std::string &uri, std::string &map, bool create)
{
    const std::optional<std::string> path = pathOfUri(uri);
    if (!path)
        return nullptr;
    const size_t slash = path->rfind('/');
    const std::string base = path->substr(slash + 1);
    if (base.size() <= 4 || !base.ends_with(".zok"))
        return nullptr;
    map = base.substr(0, base.size() - 4);
    char real[PATH_MAX];
    if (!realpath(slash == 0 ? "/" : path->substr(0, slash).c_str(), real))
        return nullptr;
    const std::string dir = real;
    if (const auto found = games_.find(dir); found != games_.end())
        return found->second.get();
    if (!create)
        return nullptr;
    auto state = std::make_unique<GameState>();
    state->game = std::make_unique<Game>(dir == "/" ? "" : dir);
    if (!state->game->refresh())
        return nullptr;
    return games_.emplace(dir, std::move(state)).first->second.get();
}

std::string Server::uriOf(const GameState &state, std::string_view map) const
{
    for (const auto &[uri, doc] : docs_)
        if (doc.state == &state && doc.map == map)
            return uri;
    return uriOfPath(state.game->pathOf(map));
}

json Server::range(const Game &game, std::string_view map, Span span) const
{
    const std::string *text = game.text(map);
    static const std::string none;
    return Lines(text ? *text : none, utf8_).range(span);
}

json Server::location(const Game &game, const Place &place) const
{
    for (const auto &[dir, state] : games_)
        if (state->game.get() == &game)
            return {{"uri", uriOf(*state, place.map)}, {"range", range(game, place.map, place.span)}};
    return nullptr;
}

std::optional<Server::Target> Server::target(const json &params)
{
    const std::string uri = params.at("textDocument").at("uri");
    Target at;
    at.state = gameOf(uri, at.map, false);
    if (!at.state || !at.state->game->hasMap(at.map))
        return std::nullopt;
    at.state->game->settle();
    at.offset = Lines(*at.state->game->text(at.map), utf8_).offset(params.at("position"));
    return at;
}

void Server::changed(const json &params)
{
    const std::string uri = params.at("textDocument").at("uri");
    const auto doc = docs_.find(uri);
    if (doc == docs_.end())
        return;
    Game &game = *doc->second.state->game;
    std::string text = *game.text(doc->second.map);
    for (const json &change : params.at("contentChanges")) {
        if (!change.contains("range")) {
            text = change.at("text").get<std::string>();
            continue;
        }
        const Lines lines(text, utf8_);
        const uint32_t start = lines.offset(change["range"].at("start"));
        const uint32_t end = std::max(start, lines.offset(change["range"].at("end")));
        text.replace(start, end - start, change.at("text").get<std::string>());
    }
    doc->second.version = params["textDocument"].value("version", doc->second.version);
    game.setText(doc->second.map, std::move(text));
    doc->second.state->dirty = true;
}

void Server::idle()
{
    for (auto &[dir, state] : games_) {
        if (state->dirty)
            publish(*state);
        state->dirty = false;
    }
}

void Server::publish(GameState &state)
{
    Game &game = *state.game;
    game.settle();
    std::map<std::string, json> now;
    std::map<std::string, std::unique_ptr<Lines>> lines;
    for (const std::string &map : game.mapNames())
        now[map] = json::array();
    const std::string prefix = game.dir() + "/";
    auto mapOf = [&](const std::string &file) -> std::optional<std::string> {
        if (!file.starts_with(prefix) || !file.ends_with(".zok"))
            return std::nullopt;
        return file.substr(prefix.size(), file.size() - prefix.size() - 4);
    };
    auto linesOf = [&](const std::string &map) -> const Lines & {
        auto &slot = lines[map];
        if (!slot)
            slot = std::make_unique<Lines>(*game.text(map), utf8_);
        return *slot;
    };
    // "file:line:col" of a note, as a place in a map.
    auto placeOf = [&](const std::string &where) -> std::optional<std::pair<std::string, uint32_t>> {
        const auto place = splitPlace(where);
        if (!place || place->line == 0 || place->col == 0)
            return std::nullopt;
        const auto map = mapOf(place->file);
        if (!map || !game.hasMap(*map))
            return std::nullopt;
        const json position = {{"line", place->line - 1}, {"character", 0}};
        const uint32_t offset = linesOf(*map).offset(position) + place->col - 1;
        return std::pair{*map, std::min(offset, static_cast<uint32_t>(game.text(*map)->size()))};
    };
    auto placeText = [](const diag::Diagnostic &d) {
        return d.file + ":" + std::to_string(d.line) + ":" + std::to_string(d.col);
    };
    std::vector<diag::Diagnostic> found = game.check();
    found.insert(found.end(), state.explored.begin(), state.explored.end());
    // In the order zokc check prints them: by place, and at one place as given,
    // a problem the checks find twice (on two ways through a map) once.
    std::ranges::stable_sort(found, {}, [](const diag::Diagnostic &d) { return std::tie(d.file, d.line, d.col); });
    found.erase(std::unique(found.begin(), found.end()), found.end());
    for (diag::Diagnostic &d : found) {
        std::vector<std::string> maps;
        uint32_t offset = 0;
        const std::string text = diag::quoted(d.message);
        if (const auto map = mapOf(d.file); map && game.hasMap(*map)) {
            maps.push_back(*map);
            if (const auto place = placeOf(placeText(d)); place && d.line > 0)
                offset = place->second;
        } else {
            // The game as a whole: shown on every open map.
            for (const auto &[uri, doc] : docs_)
                if (doc.state == &state)
                    maps.push_back(doc.map);
        }
        for (const std::string &map : maps) {
            const std::string &script = *game.text(map);
            // The word the problem is at.
            uint32_t end = std::min<uint32_t>(offset, static_cast<uint32_t>(script.size()));
            while (end < script.size() && script[end] != '\n' && script[end] != ' ' && script[end] != '\t')
                end++;
            json item = {{"range", linesOf(map).range({offset, d.line > 0 ? end : 0})},
                         {"severity", d.severity == diag::Severity::Error     ? 1
                                      : d.severity == diag::Severity::Warning ? 2
                                                                              : 3},
                         {"code", d.kind},
                         {"source", isCheckKind(d.kind) ? "zokc" : "zokc explore"},
                         {"message", text}};
            json related = json::array();
            for (const diag::Note &note : d.notes) {
                const auto place = note.where.empty() ? std::optional(std::pair{map, offset}) : placeOf(note.where);
                if (place)
                    related.push_back(
                        {{"location", {{"uri", uriOf(state, place->first)},
                                       {"range", linesOf(place->first).range({place->second, place->second})}}},
                         {"message", diag::quoted(note.text)}});
            }
            // The variable a misspelt name probably means, where it is set.
            constexpr std::string_view MEANT = "(did you mean '";
            if (const size_t at = text.rfind(MEANT);
                d.kind == "unset-variable" && at != std::string::npos && text.ends_with("'?)")) {
                const std::string meant = text.substr(at + MEANT.size(), text.size() - at - MEANT.size() - 3);
                for (const Use &use : game.uses(meant))
                    if (use.set)
                        related.push_back({{"location", location(game, use.place)},
                                           {"message", "'" + meant + "' is set here"}});
            }
            if (!related.empty())
                item["relatedInformation"] = std::move(related);
            now[map].push_back(std::move(item));
        }
    }
    std::map<std::string, json> published;
    for (auto &[map, list] : now) {
        const std::string uri = uriOf(state, map);
        const auto before = state.published.find(uri);
        if (state.opened.contains(uri) ||
            (before == state.published.end() ? !list.empty() : before->second != list))
            send_({{"jsonrpc", "2.0"},
                   {"method", "textDocument/publishDiagnostics"},
                   {"params", {{"uri", uri}, {"diagnostics", list}}}});
        published[uri] = std::move(list);
    }
    // Maps that are gone: their problems with them.
    for (const auto &[uri, list] : state.published)
        if (!published.contains(uri) && !list.empty())
            send_({{"jsonrpc", "2.0"},
                   {"method", "textDocument/publishDiagnostics"},
                   {"params", {{"uri", uri}, {"diagnostics", json::array()}}}});
    state.published = std::move(published);
    state.opened.clear();
}

void Server::explored(const std::string &dir, std::string_view report)
{
    const auto found = games_.find(dir);
    if (found == games_.end())
        return;
    GameState &state = *found->second;
    state.explored.clear();
    // "file:line:col: severity: message [-Wkind]", each problem's notes at
    // its place after it. What the checks find as well is theirs to report.
    bool noting = false;
    while (!report.empty()) {
        const size_t end = report.find('\n');
        const std::string_view text = report.substr(0, end);
        report = end == std::string_view::npos ? std::string_view() : report.substr(end + 1);
        size_t at = std::string_view::npos;
        std::string_view severity;
        for (const std::string_view name : {": error: ", ": warning: ", ": note: "})
            if (const size_t found = text.find(name); found < at)
                at = found, severity = name;
        const auto place = at == std::string_view::npos ? std::nullopt : splitPlace(text.substr(0, at));
        if (!place)
            continue;
        std::string_view message = text.substr(at + severity.size()), kind;
        if (const size_t open = message.rfind(" [-W"); open != std::string_view::npos && message.ends_with(']')) {
            kind = message.substr(open + 4, message.size() - open - 5);
            message = message.substr(0, open);
        }
        const bool note = severity == ": note: ";
        if (note && kind.empty()) {
            if (noting)
                state.explored.back().notes.push_back({"", std::string(message)});
            continue;
        }
        noting = !note && !isCheckKind(kind);
        if (noting)
            state.explored.push_back({place->file, place->line, place->col,
                                      severity == ": error: " ? diag::Severity::Error : diag::Severity::Warning,
                                      std::string(message), std::string(kind)});
    }
    state.dirty = true;
}

json Server::definition(const json &params)
{
    const auto at = target(params);
    if (!at)
        return nullptr;
    const Game &game = *at->state->game;
    if (const auto go = game.goAt(at->map, at->offset)) {
        if (!game.hasMap(go->first))
            return nullptr;
        return {{"uri", uriOf(*at->state, go->first)}, {"range", range(game, go->first, {0, 0})}};
    }
    if (const auto variable = game.variableAt(at->map, at->offset)) {
        json out = json::array();
        for (const Use &use : game.uses(variable->first))
            if (use.set)
                out.push_back(location(game, use.place));
        return out;
    }
    return nullptr;
}

json Server::references(const json &params)
{
    const auto at = target(params);
    if (!at)
        return nullptr;
    const Game &game = *at->state->game;
    const bool declarations = params.value("context", json::object()).value("includeDeclaration", true);
    json out = json::array();
    if (const auto variable = game.variableAt(at->map, at->offset)) {
        for (const Use &use : game.uses(variable->first))
            if (declarations || !use.set)
                out.push_back(location(game, use.place));
        return out;
    }
    std::string map;
    if (const auto go = game.goAt(at->map, at->offset))
        map = go->first;
    else if (const auto name = game.nameLine(at->map); name && name->second.holds(at->offset))
        map = at->map;
    else
        return out;
    for (const Place &place : game.gosTo(map))
        out.push_back(location(game, place));
    return out;
}

json Server::hover(const json &params)
{
    const auto at = target(params);
    if (!at)
        return nullptr;
    const Game &game = *at->state->game;
    std::string text;
    Span span;
    if (const auto variable = game.variableAt(at->map, at->offset)) {
        span = variable->second;
        text = "variable `" + variable->first + "`\n";
        std::string sets, tests;
        for (const Use &use : game.uses(variable->first)) {
            const std::string where =
                fileName(use.place.map) + ":" +
                std::to_string(Lines(*game.text(use.place.map), true).position(use.place.span.start)["line"]
                                   .get<uint32_t>() +
                               1);
            if (use.set)
                sets += "- " + where + " to " + setValue(use.source) + " (`.set " + use.source + "`)\n";
            else
                tests += "- " + where + " (`" + use.source + "`)\n";
        }
        text += sets.empty() ? "\nset in no map (always 0)\n" : "\nset in\n" + sets;
        text += tests.empty() ? "\ntested in no map\n" : "\ntested in\n" + tests;
    } else if (const auto go = game.goAt(at->map, at->offset)) {
        span = go->second;
        if (!game.hasMap(go->first))
            text = "no map `" + go->first + "` in the game";
        else if (const auto name = game.nameLine(go->first))
            text = "**" + name->first + "** (" + fileName(go->first) + ")";
        else
            text = fileName(go->first) + " (no name line)";
    } else if (const auto word = game.directiveAt(at->map, at->offset)) {
        span = word->second;
        const directives::Directive *directive = directives::findDirective(word->first);
        if (!directive)
            return nullptr;
        text = "`" + std::string(directive->usage) + "` " + directive->about;
    } else {
        return nullptr;
    }
    return {{"contents", {{"kind", "markdown"}, {"value", text}}},
            {"range", range(game, at->map, span)}};
}

json Server::completion(const json &params)
{
    const auto at = target(params);
    json items = json::array();
    if (!at)
        return items;
    const Game &game = *at->state->game;
    const std::string &text = *game.text(at->map);
    const size_t newline = at->offset == 0 ? std::string::npos : text.rfind('\n', at->offset - 1);
    const uint32_t lineStart = newline == std::string::npos ? 0 : static_cast<uint32_t>(newline + 1);
    uint32_t first = lineStart;
    while (first < at->offset && (text[first] == ' ' || text[first] == '\t'))
        first++;
    const std::string_view typed = std::string_view(text).substr(first, at->offset - first);
    const Lines lines(text, utf8_);
    auto add = [&](const std::string &label, int kind, uint32_t from, const std::string &detail) {
        items.push_back({{"label", label},
                         {"kind", kind},
                         {"detail", detail},
                         {"textEdit", textEdit(lines.range({from, at->offset}), label)}});
    };
    if (typed.starts_with('.') && typed.find_first_of(" \t") == std::string_view::npos) {
        for (const directives::Directive &directive : directives::DIRECTIVES)
            add(directive.name, 14, first, std::string(directive.usage) + ": " + directive.about);
    } else if (typed.starts_with(".go ")) {
        for (const std::string &map : game.mapNames()) {
            const auto name = game.nameLine(map);
            add(map, 17, first + 4, name ? name->first : fileName(map));
        }
    } else if (typed.starts_with(".set ") || typed.starts_with(".if ") || typed.starts_with(".elif ")) {
        const bool set = typed.starts_with(".set ");
        if (!set && typed.find('=') != std::string_view::npos)
            return items;  // a number comes after '='
        uint32_t from = first + static_cast<uint32_t>(typed.find(' ')) + 1;
        if (!set)
            if (const size_t amp = typed.rfind('&'); amp != std::string_view::npos)
                from = first + static_cast<uint32_t>(amp) + 1;
        while (from < at->offset && (text[from] == ' ' || text[from] == '\t'))
            from++;
        if (set && std::string_view(text).substr(from, at->offset - from).find(' ') != std::string_view::npos)
            return items;  // the value
        for (const std::string &variable : game.variables())
            add(variable, 6, from, "variable");
    }
    return items;
}

json Server::symbols(const json &params)
{
    const std::string uri = params.at("textDocument").at("uri");
    std::string map;
    GameState *state = gameOf(uri, map, false);
    if (!state || !state->game->hasMap(map))
        return nullptr;
    state->game->settle();
    const Lines lines(*state->game->text(map), utf8_);
    std::function<json(const std::vector<Symbol> &)> convert = [&](const std::vector<Symbol> &list) {
        json out = json::array();
        for (const Symbol &symbol : list) {
            static constexpr int KINDS[] = {3, 15, 18, 12};  // namespace, string, array, function
            static constexpr const char *DETAILS[] = {".name", ".desc", ".list", ".opt"};
            out.push_back({{"name", symbol.text.empty() ? std::string(DETAILS[symbol.kind]) : symbol.text},
                           {"detail", DETAILS[symbol.kind]},
                           {"kind", KINDS[symbol.kind]},
                           {"range", lines.range(symbol.span)},
                           {"selectionRange", lines.range(symbol.selection)},
                           {"children", convert(symbol.children)}});
        }
        return out;
    };
    return convert(state->game->outline(map));
}

json Server::prepareRename(const json &params)
{
    const auto at = target(params);
    if (!at)
        return nullptr;
    const Game &game = *at->state->game;
    if (const auto variable = game.variableAt(at->map, at->offset))
        return {{"range", range(game, at->map, variable->second)}, {"placeholder", variable->first}};
    if (const auto go = game.goAt(at->map, at->offset); go && game.hasMap(go->first))
        return {{"range", range(game, at->map, go->second)}, {"placeholder", go->first}};
    return nullptr;
}

json Server::rename(const json &params)
{
    const auto at = target(params);
    if (!at)
        throw Failure{REQUEST_FAILED, "not a map of a game"};
    const Game &game = *at->state->game;
    const std::string name = params.at("newName");
    // Edits by URI, in the order they come.
    std::vector<std::pair<std::string, json>> edits;
    auto edit = [&](const Place &place) {
        const std::string uri = uriOf(*at->state, place.map);
        const auto found = std::ranges::find(edits, uri, &std::pair<std::string, json>::first);
        json &list = found == edits.end() ? edits.emplace_back(uri, json::array()).second : found->second;
        list.push_back(textEdit(range(game, place.map, place.span), name));
    };
    auto versioned = [&](const std::string &uri) {
        const auto doc = docs_.find(uri);
        return json{{"uri", uri}, {"version", doc == docs_.end() ? json() : json(doc->second.version)}};
    };
    json changes = json::array();
    if (const auto variable = game.variableAt(at->map, at->offset)) {
        if (!validName(name, " \t\r\n&="))
            throw Failure{REQUEST_FAILED, "a variable's name cannot be empty or hold a blank, '&' or '='"};
        for (const Use &use : game.uses(variable->first))
            edit(use.place);
    } else if (const auto go = game.goAt(at->map, at->offset); go && game.hasMap(go->first)) {
        if (!validName(name, " \t\r\n/") || name == "." || name == "..")
            throw Failure{REQUEST_FAILED, "a map's name cannot be empty or hold a blank or '/'"};
        if (game.hasMap(name))
            throw Failure{REQUEST_FAILED, "there is a map '" + name + "' already"};
        if (!renameFiles_)
            throw Failure{REQUEST_FAILED, "the editor cannot rename files"};
        for (const Place &place : game.gosTo(go->first))
            edit(place);
        for (auto &[uri, list] : edits)
            changes.push_back({{"textDocument", versioned(uri)}, {"edits", std::move(list)}});
        changes.push_back({{"kind", "rename"},
                           {"oldUri", uriOf(*at->state, go->first)},
                           {"newUri", uriOfPath(game.pathOf(name))}});
        return {{"documentChanges", changes}};
    } else {
        throw Failure{REQUEST_FAILED, "put the cursor on a variable or on the map after '.go'"};
    }
    for (auto &[uri, list] : edits)
        changes.push_back({{"textDocument", versioned(uri)}, {"edits", std::move(list)}});
    return {{"documentChanges", changes}};
}

json Server::codeActions(const json &params)
{
    const std::string uri = params.at("textDocument").at("uri");
    std::string map;
    GameState *state = gameOf(uri, map, false);
    json actions = json::array();
    if (!state || !state->game->hasMap(map))
        return actions;
    Game &game = *state->game;
    game.settle();
    const std::string &text = *game.text(map);
    const Lines lines(text, utf8_);
    auto action = [&](const std::string &title, json edits, const json &diagnostic) {
        json item = {{"title", title},
                     {"kind", "quickfix"},
                     {"edit", {{"changes", {{uri, std::move(edits)}}}}}};
        if (!diagnostic.is_null())
            item["diagnostics"] = json::array({diagnostic});
        actions.push_back(std::move(item));
    };
    const json context = params.value("context", json::object());
    for (const json &diagnostic : context.value("diagnostics", json::array())) {
        const std::string code = diagnostic.value("code", json("")).is_string() ? diagnostic.value("code", "") : "";
        const uint32_t offset = lines.offset(diagnostic.at("range").at("start"));
        if (code == "carriage-return") {
            json edits = json::array();
            for (size_t cr = text.find("\r\n"); cr != std::string::npos; cr = text.find("\r\n", cr + 2))
                edits.push_back(textEdit(lines.range({static_cast<uint32_t>(cr), static_cast<uint32_t>(cr + 1)}), ""));
            action("Save with newline line ends: remove every carriage return", std::move(edits), diagnostic);
        } else if (code == "missing-map") {
            const auto go = game.goAt(map, offset);
            if (!go)
                continue;
            std::string target = go->first;
            if (target.ends_with(".zok"))
                target.resize(target.size() - 4);
            while (!target.empty() && (target.back() == ' ' || target.back() == '\t'))
                target.pop_back();
            if (target != go->first && game.hasMap(target))
                action("Go to the map '" + target + "'",
                       json::array({textEdit(lines.range(go->second), target)}), diagnostic);
        } else if (code == "unknown-directive") {
            uint32_t end = offset;
            while (end < text.size() && text[end] != ' ' && text[end] != '\t' && text[end] != '\n' &&
                   text[end] != '\r')
                end++;
            std::string word = text.substr(offset, end - offset), lower = word;
            std::ranges::transform(lower, lower.begin(), [](unsigned char ch) { return std::tolower(ch); });
            if (lower != word && directives::findDirective(lower))
                action("Write '" + lower + "'", json::array({textEdit(lines.range({offset, end}), lower)}),
                       diagnostic);
        }
    }
    // '.set gold = 5' sets gold to 0, and '.set gold=5' a variable "gold=5".
    const uint32_t from = lines.offset(params.at("range").at("start"));
    const uint32_t to = lines.offset(params.at("range").at("end"));
    std::set<uint32_t> seen;
    for (const Use &use : game.setsIn(map)) {
        const uint32_t start = use.place.span.start;
        const uint32_t lineStart = static_cast<uint32_t>(text.rfind('\n', start) + 1);
        const uint32_t lineEnd = start + static_cast<uint32_t>(use.source.size());
        const auto fixed = withoutEquals(use.source);
        if (lineEnd < from || lineStart > to || !seen.insert(start).second || !fixed)
            continue;
        action("Write '.set " + *fixed + "'", json::array({textEdit(lines.range({start, lineEnd}), *fixed)}), nullptr);
    }
    return actions;
}

}  // namespace lsp
