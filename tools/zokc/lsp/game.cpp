// The adapter between the language server and zokc check's reading of a
// game: zokc::MapStore and checks::checkGame, with buffers in place of
// files. A map is surveyed again only when its text changed, and only when
// asked about (settle), so that a burst of edits costs one survey.
#include "game.hpp"

#include "checks.hpp"
#include "problems.hpp"

#include <algorithm>
#include <iterator>
#include <span>

namespace lsp {

using checks::setName;
using checks::testedNames;

namespace {

constexpr std::string_view EXTENSION = ".zok";

bool isBlank(char ch)
{
    return ch == ' ' || ch == '\t';
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
    const problems::Kind *found = problems::find(kind);
    return found && (found->commands & problems::CHECK);
}

void Game::settle()
{
    for (const std::string &map : stale_)
        if (const auto buffer = buffers_.find(map); buffer != buffers_.end())
            game_->setText(map, buffer->second);
    stale_.clear();
}

bool Game::refresh()
{
    if (!game_) {
        game_.emplace(dir_, buffers_);
        if (!game_->readable()) {
            game_.reset();
            return false;
        }
    } else {
        unchecked_.merge(game_->reread(buffers_));
    }
    stale_.clear();
    return game_->readable();
}

void Game::setText(const std::string &map, std::string text)
{
    const zokc::Map *found = find(map);
    const auto buffer = buffers_.find(map);
    const bool same = buffer != buffers_.end() ? buffer->second == text : found && found->exists && found->text == text;
    buffers_.insert_or_assign(map, text);
    if (same)
        return;
    unchecked_.insert(map);
    if (found)
        stale_.insert(map);
    else
        game_->setText(map, std::move(text));  // a new map: the names of the game change now
}

void Game::dropText(const std::string &map)
{
    buffers_.erase(map);
    stale_.erase(map);
    refresh();
}

std::vector<std::string> Game::mapNames() const
{
    std::vector<std::string> names;
    if (game_)
        for (const zokc::Map &map : game_->listedMaps())
            names.push_back(map.name);
    return names;
}

const std::string *Game::text(std::string_view map) const
{
    if (const auto buffer = buffers_.find(map); buffer != buffers_.end())
        return &buffer->second;
    const zokc::Map *found = find(map);
    return found ? &found->text : nullptr;
}

Game::Interface Game::interfaceOf(const zokc::Map &map)
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
    std::vector<diag::Diagnostic> all = checks::checkGame(*game_);
    problems_.clear();
    interfaces_.clear();
    for (const zokc::Map &map : game_->listedMaps()) {
        problems_[map.name];
        interfaces_[map.name] = interfaceOf(map);
    }
    std::map<std::string_view, std::string_view> names;  // by path
    for (const zokc::Map &map : game_->listedMaps())
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
    // set and never tested, or tested and never set; and a condition that
    // tests only variables no map sets is never true, which hides what its
    // branch would do).
    const std::span<const zokc::Map> maps = game_->listedMaps();
    bool whole = interfaces_.size() != maps.size(), reach = false, vars = false;
    // The variables some map sets, before the first change to them.
    auto setAnywhere = [&] {
        std::set<std::string> set;
        for (const auto &[name, interface] : interfaces_)
            set.insert(interface.set.begin(), interface.set.end());
        return set;
    };
    std::set<std::string> setBefore;
    bool setChanged = false;
    for (const zokc::Map &map : maps) {
        const auto before = interfaces_.find(map.name);
        if (before == interfaces_.end()) {
            whole = true;
        } else if (unchecked_.contains(map.name)) {
            Interface now = interfaceOf(map);
            whole |= now.problem != before->second.problem;
            reach |= now.gos != before->second.gos;
            if (now.set != before->second.set && !setChanged) {
                setBefore = setAnywhere();
                setChanged = true;
            }
            vars |= now.set != before->second.set || now.tested != before->second.tested;
            before->second = std::move(now);
        }
    }
    if (whole)
        return checkAll();
    if (setChanged) {
        // The maps that test a variable set nowhere before or nowhere now
        // are checked again whole.
        const std::set<std::string> setNow = setAnywhere();
        std::set<std::string> moved;
        std::ranges::set_symmetric_difference(setBefore, setNow, std::inserter(moved, moved.end()));
        if (!moved.empty())
            for (const auto &[name, interface] : interfaces_)
                if (std::ranges::any_of(interface.tested, [&](const std::string &v) { return moved.contains(v); }))
                    unchecked_.insert(name);
    }
    if (!unchecked_.empty()) {
        // The changed maps as they are; every other map only as far as the
        // checks look at it: its name and '.go' targets, and the variables it
        // sets and tests (where they stand in its text when their problems
        // are wanted, else in a map of their own).
        // A stand-in's line table is one line whatever its text: the checks
        // read the text themselves, and copying the table of every map
        // would cost more than the check.
        std::vector<zokc::Map> part;
        auto stub = [&](std::string name, std::string path) {
            zokc::Map map;
            map.name = std::move(name);
            map.path = std::move(path);
            map.listed = true;
            map.lineOf = {0};
            map.lineStart = {0};
            return map;
        };
        zokc::Map variables = stub(std::string(16, '\x01'), pathOf(std::string(16, '\x01')));  // no name a '.go' comes near
        variables.exists = true;
        for (const zokc::Map &map : maps) {
            if (unchecked_.contains(map.name)) {
                part.push_back(map);
                continue;
            }
            zokc::Map other = stub(map.name, map.path);
            other.exists = map.exists;
            other.problem = map.problem;
            other.survey.gos = map.survey.gos;
            if (vars) {
                other.text = map.text;
                other.survey.sets = map.survey.sets;
                other.survey.conditions = map.survey.conditions;
                other.survey.gaveUp = true;  // no lines to tell never run
            }
            part.push_back(std::move(other));
            if (vars)
                continue;
            for (const survey::Text &set : map.survey.sets)
                variables.survey.sets.insert({0, set.text, {}});
            for (const survey::Text &condition : map.survey.conditions)
                variables.survey.conditions.insert({0, condition.text, {}});
        }
        if (!vars)
            part.push_back(std::move(variables));
        // The kinds of problem of the other maps that may have changed.
        auto wanted = [&](const diag::Diagnostic &d) {
            return (reach && d.kind == "unreachable-map") ||
                   (vars && (d.kind == "unused-variable" || d.kind == "unset-variable"));
        };
        std::map<std::string_view, std::string_view> names;  // by path
        for (const zokc::Map &map : maps)
            names[map.path] = map.name;
        for (auto &[name, list] : problems_) {
            if (unchecked_.contains(name))
                list.clear();
            else
                std::erase_if(list, wanted);
        }
        for (diag::Diagnostic &d : checks::checkGame(zokc::MapStore::of(dir_, std::move(part)))) {
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
    for (const zokc::Map &map : game_->listedMaps()) {
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
    const zokc::Map *map = find(name);
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
    for (const zokc::Map &map : game_->listedMaps()) {
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
    if (const zokc::Map *map = find(name))
        for (const survey::Text *set : once(map->survey.sets))
            out.push_back({{map->name, {set->start, set->start + static_cast<uint32_t>(setName(set->text).size())}},
                           true, set->text});
    return out;
}

std::optional<std::pair<std::string, Span>> Game::goAt(std::string_view name, uint32_t offset) const
{
    const zokc::Map *map = find(name);
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
    for (const zokc::Map &map : game_->listedMaps())
        for (const survey::Text *go : once(map.survey.gos))
            if (go->text == target)
                out.push_back({map.name, {go->start, go->start + static_cast<uint32_t>(go->text.size())}});
    return out;
}

std::optional<std::pair<std::string, Span>> Game::directiveAt(std::string_view name, uint32_t offset) const
{
    const zokc::Map *map = find(name);
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
    const zokc::Map *map = find(name);
    if (!map || map->survey.names.empty())
        return std::nullopt;
    const survey::Text *first = once(map->survey.names).front();
    return std::pair{firstLine(first->text), trimmedLine(map->text, first->start)};
}

std::vector<Symbol> Game::outline(std::string_view name) const
{
    const zokc::Map *map = find(name);
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
