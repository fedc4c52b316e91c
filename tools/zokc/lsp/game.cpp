// The adapter between the language server and zokc check's reading of a
// game: folder::readGame and checks::checkGame, with buffers in place of
// files. A map is surveyed again only when its text changed, and only when
// asked about (settle), so that a burst of edits costs one survey.
#include "game.hpp"

#include "checks.hpp"
#include "fifo.hpp"
#include "interp.hpp"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace lsp {

namespace {

constexpr std::string_view EXTENSION = ".zok";

bool isBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

struct FreeText {
    void operator()(char *text) const { free(text); }
};

// The file's script, or nothing when the map reader cannot read it.
std::optional<std::string> readFile(const std::string &path)
{
    char *block = nullptr;
    const uint32_t size = readMap(&block, path.c_str());
    const std::unique_ptr<char, FreeText> text(block);
    if (size == 0)
        return std::nullopt;
    return std::string(text.get(), size - 1);
}

// The offset in text of byte index of a condition that starts at start, read
// with its blanks dropped (index may be the condition's length: its end).
uint32_t inCondition(const std::string &text, uint32_t start, size_t index)
{
    uint32_t at = start;
    for (; at < text.size(); at++) {
        if (isBlank(text[at]))
            continue;
        if (index-- == 0)
            return at;
    }
    return at;
}

Span nameIn(const std::string &text, uint32_t start, size_t index, size_t length)
{
    const uint32_t from = inCondition(text, start, index);
    if (length == 0)
        return {from, from};
    return {from, inCondition(text, start, index + length - 1) + 1};
}

// First byte of the line holding offset, and the offset of its newline (or
// the text's end).
Span lineOf(const std::string &text, uint32_t offset)
{
    const size_t before = offset == 0 ? std::string::npos : text.rfind('\n', offset - 1);
    const uint32_t start = before == std::string::npos ? 0 : static_cast<uint32_t>(before + 1);
    const size_t end = text.find('\n', offset);
    return {start, end == std::string::npos ? static_cast<uint32_t>(text.size()) : static_cast<uint32_t>(end)};
}

// The line holding offset without its blanks at either end.
Span trimmedLine(const std::string &text, uint32_t offset)
{
    Span line = lineOf(text, offset);
    while (line.start < line.end && isBlank(text[line.start]))
        line.start++;
    while (line.end > line.start && (isBlank(text[line.end - 1]) || text[line.end - 1] == '\r'))
        line.end--;
    return line;
}

std::string firstLine(std::string_view text)
{
    text = text.substr(0, text.find('\n'));
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && (isBlank(text.back()) || text.back() == '\r'))
        text.remove_suffix(1);
    return std::string(text);
}

// The texts of a kind once each, by where they start (the survey keeps one
// for every way through).
std::vector<const survey::Text *> once(const std::set<survey::Text> &texts)
{
    std::vector<const survey::Text *> out;
    for (const survey::Text &text : texts)
        if (out.empty() || out.back()->start != text.start)
            out.push_back(&text);
    return out;
}

}  // namespace

bool isCheckKind(std::string_view kind)
{
    return checks::findKind(kind) != nullptr;
}

std::string_view setName(std::string_view set)
{
    return set.substr(0, set.find(' '));
}

std::vector<std::pair<std::string, size_t>> testedNames(std::string_view condition)
{
    const size_t first = condition.find_first_of("&=");
    if (first == std::string_view::npos)
        return {{std::string(condition), 0}};
    if (condition[first] == '=')
        return {{std::string(condition.substr(0, first)), 0}};
    std::vector<std::pair<std::string, size_t>> names;
    for (size_t at = 0;;) {
        const size_t end = condition.find('&', at);
        names.push_back({std::string(condition.substr(at, end - at)), at});
        if (end == std::string_view::npos)
            return names;
        at = end + 1;
    }
}

const folder::Map *Game::find(std::string_view map) const
{
    const auto found = std::ranges::lower_bound(game_.maps, map, {}, &folder::Map::name);
    return found != game_.maps.end() && found->name == map ? &*found : nullptr;
}

void Game::load(folder::Map &map, std::string text)
{
    map.problem.clear();
    map.text = std::move(text);
    stale_.insert(map.name);
    unchecked_.insert(map.name);
}

void Game::settle()
{
    for (folder::Map &map : game_.maps) {
        if (!stale_.contains(map.name))
            continue;
        std::string script = map.text;
        script.push_back('\0');
        map.survey = survey::surveyMap(script.data(), static_cast<uint32_t>(script.size()));
    }
    stale_.clear();
}

bool Game::refresh()
{
    const DirPtr listing(openDir(dir_.c_str(), 0));
    if (!listing)
        return false;
    std::set<std::string> names;
    while (const DirEntry *entry = readDir(listing.get())) {
        const std::string_view name = entry->name;
        if (hasExtension(entry->name, EXTENSION.data()))
            names.insert(std::string(name.substr(0, name.size() - EXTENSION.size())));
    }
    for (const auto &[name, text] : buffers_)
        names.insert(name);

    std::vector<folder::Map> maps;
    std::set<std::string> unexplained;
    for (const std::string &name : names) {
        folder::Map map;
        map.name = name;
        map.path = pathOf(name);
        folder::Map *old = const_cast<folder::Map *>(find(name));
        std::optional<std::string> text;
        if (const auto buffer = buffers_.find(name); buffer != buffers_.end())
            text = buffer->second;
        else
            text = readFile(map.path);
        if (!text) {
            map.problem = old && !old->problem.empty() ? old->problem : "";
            unchecked_.insert(name);
            if (map.problem.empty())
                unexplained.insert(name);
        } else if (old && old->problem.empty() && old->text == *text) {
            map.text = std::move(old->text);
            map.survey = std::move(old->survey);
        } else {
            load(map, std::move(*text));
        }
        maps.push_back(std::move(map));
    }
    if (!unexplained.empty()) {
        // Only the folder's reader says why a file cannot be read.
        folder::Game fresh;
        folder::readGame(dir_, fresh);
        for (folder::Map &map : maps) {
            if (!unexplained.contains(map.name))
                continue;
            const folder::Map *found = fresh.find(map.name);
            map.problem = found && !found->problem.empty() ? found->problem : "reading it failed";
        }
    }
    game_.dir = dir_;
    game_.maps = std::move(maps);
    return true;
}

void Game::setText(const std::string &map, std::string text)
{
    buffers_[map] = text;
    if (const folder::Map *found = find(map)) {
        if (found->problem.empty() && found->text == text)
            return;
        load(const_cast<folder::Map &>(*found), std::move(text));
        return;
    }
    folder::Map added;
    added.name = map;
    added.path = pathOf(map);
    load(added, std::move(text));
    game_.maps.insert(std::ranges::upper_bound(game_.maps, map, {}, &folder::Map::name), std::move(added));
}

void Game::dropText(const std::string &map)
{
    buffers_.erase(map);
    refresh();
}

std::vector<std::string> Game::mapNames() const
{
    std::vector<std::string> names;
    for (const folder::Map &map : game_.maps)
        names.push_back(map.name);
    return names;
}

const std::string *Game::text(std::string_view map) const
{
    const folder::Map *found = find(map);
    return found ? &found->text : nullptr;
}

Game::Interface Game::interfaceOf(const folder::Map &map)
{
    Interface out;
    for (const survey::Text &go : map.survey.gos)
        out.gos.insert(go.text);
    for (const survey::Text &set : map.survey.sets)
        out.set.insert(std::string(setName(set.text)));
    for (const survey::Text &condition : map.survey.conditions)
        for (const auto &[name, index] : testedNames(condition.text))
            out.tested.insert(name);
    out.problem = map.problem;
    return out;
}

std::vector<diag::Diagnostic> Game::checkAll()
{
    std::vector<diag::Diagnostic> all = checks::checkGame(game_);
    problems_.clear();
    interfaces_.clear();
    for (const folder::Map &map : game_.maps) {
        problems_[map.name];
        interfaces_[map.name] = interfaceOf(map);
    }
    std::map<std::string_view, std::string_view> names;  // by path
    for (const folder::Map &map : game_.maps)
        names[map.path] = map.name;
    for (const diag::Diagnostic &d : all) {
        const auto name = names.find(d.file);
        problems_[name == names.end() ? "" : std::string(name->second)].push_back(d);
    }
    unchecked_.clear();
    return all;
}

std::vector<diag::Diagnostic> Game::check()
{
    settle();
    // A change to a map reaches other maps' problems only through the maps
    // there are (then the whole game is checked again), its '.go' targets
    // (which maps are reached) and the variables it sets and tests (those
    // set and never tested, or tested and never set).
    bool whole = interfaces_.size() != game_.maps.size(), reach = false, vars = false;
    for (const folder::Map &map : game_.maps) {
        const auto before = interfaces_.find(map.name);
        if (before == interfaces_.end()) {
            whole = true;
        } else if (unchecked_.contains(map.name)) {
            Interface now = interfaceOf(map);
            whole |= now.problem != before->second.problem;
            reach |= now.gos != before->second.gos;
            vars |= now.set != before->second.set || now.tested != before->second.tested;
            before->second = std::move(now);
        }
    }
    if (whole)
        return checkAll();
    if (!unchecked_.empty()) {
        // The changed maps as they are; every other map only as far as the
        // checks look at it: its name and '.go' targets, and the variables it
        // sets and tests (where they stand in its text when their problems
        // are wanted, else in a map of their own).
        folder::Game part;
        part.dir = dir_;
        folder::Map variables;
        variables.name = std::string(16, '\x01');  // no name a '.go' comes near
        variables.path = pathOf(variables.name);
        for (const folder::Map &map : game_.maps) {
            if (unchecked_.contains(map.name)) {
                part.maps.push_back(map);
                continue;
            }
            folder::Map stub;
            stub.name = map.name;
            stub.path = map.path;
            stub.problem = map.problem;
            stub.survey.gos = map.survey.gos;
            if (vars) {
                stub.text = map.text;
                stub.survey.sets = map.survey.sets;
                stub.survey.conditions = map.survey.conditions;
                stub.survey.gaveUp = true;  // no lines to tell never run
            }
            part.maps.push_back(std::move(stub));
            if (vars)
                continue;
            for (const survey::Text &set : map.survey.sets)
                variables.survey.sets.insert({0, set.text, {}});
            for (const survey::Text &condition : map.survey.conditions)
                variables.survey.conditions.insert({0, condition.text, {}});
        }
        if (!vars)
            part.maps.push_back(std::move(variables));
        // The kinds of problem of the other maps that may have changed.
        auto wanted = [&](const diag::Diagnostic &d) {
            return (reach && d.kind == "unreachable-map") ||
                   (vars && (d.kind == "unused-variable" || d.kind == "unset-variable"));
        };
        std::map<std::string_view, std::string_view> names;  // by path
        for (const folder::Map &map : game_.maps)
            names[map.path] = map.name;
        for (auto &[name, list] : problems_) {
            if (unchecked_.contains(name))
                list.clear();
            else
                std::erase_if(list, wanted);
        }
        for (diag::Diagnostic &d : checks::checkGame(part)) {
            const auto name = names.find(d.file);
            if (name == names.end())
                continue;
            const std::string map(name->second);
            if (unchecked_.contains(map) || wanted(d))
                problems_[map].push_back(std::move(d));
        }
        unchecked_.clear();
    }
    std::vector<diag::Diagnostic> all;
    for (const auto &[name, list] : problems_)
        all.insert(all.end(), list.begin(), list.end());
    return all;
}

std::set<std::string> Game::variables() const
{
    std::set<std::string> names;
    for (const folder::Map &map : game_.maps) {
        for (const survey::Text &set : map.survey.sets)
            names.insert(std::string(setName(set.text)));
        for (const survey::Text &condition : map.survey.conditions)
            for (const auto &[name, index] : testedNames(condition.text))
                names.insert(name);
    }
    names.erase("");
    return names;
}

std::optional<std::pair<std::string, Span>> Game::variableAt(std::string_view name, uint32_t offset) const
{
    const folder::Map *map = find(name);
    if (!map)
        return std::nullopt;
    for (const survey::Text &set : map->survey.sets) {
        const std::string_view variable = setName(set.text);
        const Span span{set.start, set.start + static_cast<uint32_t>(variable.size())};
        if (!variable.empty() && span.holds(offset))
            return std::pair{std::string(variable), span};
    }
    for (const survey::Text &condition : map->survey.conditions) {
        for (const auto &[variable, index] : testedNames(condition.text)) {
            const Span span = nameIn(map->text, condition.start, index, variable.size());
            if (!variable.empty() && span.holds(offset))
                return std::pair{variable, span};
        }
    }
    return std::nullopt;
}

std::vector<Use> Game::uses(std::string_view variable) const
{
    std::vector<Use> out;
    for (const folder::Map &map : game_.maps) {
        for (const survey::Text *set : once(map.survey.sets))
            if (setName(set->text) == variable)
                out.push_back({{map.name, {set->start, set->start + static_cast<uint32_t>(variable.size())}},
                               true, set->text});
        for (const survey::Text *condition : once(map.survey.conditions))
            for (const auto &[name, index] : testedNames(condition->text))
                if (name == variable)
                    out.push_back({{map.name, nameIn(map.text, condition->start, index, name.size())}, false,
                                   condition->text});
    }
    return out;
}

std::vector<Use> Game::setsIn(std::string_view name) const
{
    std::vector<Use> out;
    if (const folder::Map *map = find(name))
        for (const survey::Text *set : once(map->survey.sets))
            out.push_back({{map->name, {set->start, set->start + static_cast<uint32_t>(setName(set->text).size())}},
                           true, set->text});
    return out;
}

std::optional<std::pair<std::string, Span>> Game::goAt(std::string_view name, uint32_t offset) const
{
    const folder::Map *map = find(name);
    if (!map)
        return std::nullopt;
    for (const survey::Text &go : map->survey.gos) {
        const Span span{go.start, go.start + static_cast<uint32_t>(go.text.size())};
        if (span.holds(offset))
            return std::pair{go.text, span};
    }
    return std::nullopt;
}

std::vector<Place> Game::gosTo(std::string_view target) const
{
    std::vector<Place> out;
    for (const folder::Map &map : game_.maps)
        for (const survey::Text *go : once(map.survey.gos))
            if (go->text == target)
                out.push_back({map.name, {go->start, go->start + static_cast<uint32_t>(go->text.size())}});
    return out;
}

std::optional<std::pair<std::string, Span>> Game::directiveAt(std::string_view name, uint32_t offset) const
{
    const folder::Map *map = find(name);
    if (!map || offset > map->text.size())
        return std::nullopt;
    const Span line = lineOf(map->text, offset);
    // The directive recorded on this line (at its last byte, or at the
    // newline that completed it), spelled as the line begins.
    for (auto it = map->survey.directives.begin(); it != map->survey.directives.end(); ++it) {
        const auto &[what, pos] = *it;
        if (pos < line.start || pos > line.end)
            continue;
        Span word = trimmedLine(map->text, offset);
        uint32_t end = word.start;
        while (end < word.end && !isBlank(map->text[end]))
            end++;
        word.end = end;
        if (!word.holds(offset) || word.start == word.end)
            return std::nullopt;
        static constexpr const char *NAMES[] = {".name", ".desc", ".dend", ".list", ".opt", ".tpo",
                                                ".loop", ".lend", ".go",   ".set",  ".break", ".exit",
                                                ".die",  ".win",  ".if",   ".elif", ".else", ".fi"};
        const auto index = static_cast<size_t>(what);
        if (index >= std::size(NAMES))
            return std::nullopt;
        return std::pair{std::string(NAMES[index]), word};
    }
    return std::nullopt;
}

std::optional<std::pair<std::string, Span>> Game::nameLine(std::string_view name) const
{
    const folder::Map *map = find(name);
    if (!map || map->survey.names.empty())
        return std::nullopt;
    const survey::Text *first = once(map->survey.names).front();
    return std::pair{firstLine(first->text), trimmedLine(map->text, first->start)};
}

std::vector<Symbol> Game::outline(std::string_view name) const
{
    const folder::Map *map = find(name);
    if (!map)
        return {};
    const std::string &text = map->text;
    const uint32_t size = static_cast<uint32_t>(text.size());
    const survey::Survey &survey = map->survey;
    std::vector<Symbol> flat;
    auto lineEnd = [&](uint32_t offset) { return lineOf(text, std::min(offset, size)).end; };
    // The first directive of a kind at or after offset.
    auto next = [&](Directive what, uint32_t offset) -> std::optional<uint32_t> {
        const auto found = survey.directives.lower_bound({what, offset});
        if (found == survey.directives.end() || found->first != what)
            return std::nullopt;
        return found->second;
    };
    for (const survey::Text *line : once(survey.names)) {
        const Span span = trimmedLine(text, line->start);
        flat.push_back({Symbol::Name, firstLine(line->text), span, span, {}});
    }
    for (const survey::Text *desc : once(survey.descs)) {
        const Span opening = trimmedLine(text, desc->start > 0 ? desc->start - 1 : 0);
        const auto dend = next(Directive::Dend, desc->start + static_cast<uint32_t>(desc->text.size()));
        std::string first = firstLine(std::string_view(desc->text).substr(desc->text.starts_with('\n')));
        if (first.empty())
            first = "(description)";
        flat.push_back({Symbol::Desc, first, {opening.start, dend ? lineEnd(*dend) : size}, opening, {}});
    }
    // Each list with the '.lend' that closes it (lists nest in bodies).
    std::vector<std::pair<uint32_t, bool>> marks;
    for (const auto &[what, pos] : survey.directives)
        if (what == Directive::List || what == Directive::Lend)
            marks.push_back({pos, what == Directive::List});
    std::ranges::sort(marks);
    std::vector<uint32_t> open;
    auto addList = [&](uint32_t at, uint32_t end) {
        const Span opening = trimmedLine(text, at);
        flat.push_back({Symbol::List, "list", {opening.start, end}, opening, {}});
    };
    for (const auto &[pos, opens] : marks) {
        if (opens) {
            open.push_back(pos);
        } else if (!open.empty()) {
            addList(open.back(), lineEnd(pos));
            open.pop_back();
        }
    }
    for (const uint32_t at : open)
        addList(at, size);
    for (const survey::Text *label : once(survey.labels)) {
        const Span opening = trimmedLine(text, label->start);
        const uint32_t bodyAt = label->start + static_cast<uint32_t>(label->text.size()) + 1;
        const auto body = survey.bodies.lower_bound({bodyAt, 0});
        const uint32_t end = body != survey.bodies.end() && body->first == bodyAt ? lineEnd(body->second) : size;
        std::string shown = firstLine(label->text);
        flat.push_back({Symbol::Option, shown.empty() ? "(option)" : shown, {opening.start, end}, opening, {}});
    }
    // Nested by what holds what.
    std::ranges::sort(flat, [](const Symbol &a, const Symbol &b) {
        return a.span.start != b.span.start ? a.span.start < b.span.start : a.span.end > b.span.end;
    });
    std::vector<Symbol> top;
    std::vector<Symbol *> path;
    std::vector<std::vector<Symbol> *> holders{&top};
    for (Symbol &symbol : flat) {
        while (!path.empty() && symbol.span.start >= path.back()->span.end) {
            path.pop_back();
            holders.pop_back();
        }
        holders.back()->push_back(std::move(symbol));
        path.push_back(&holders.back()->back());
        holders.push_back(&path.back()->children);
    }
    return top;
}

}  // namespace lsp
