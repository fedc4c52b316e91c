// The watcher's bookkeeping, kept to a few operations a byte: it runs for
// every byte of every pass of every playthrough.
#include "watch.hpp"

namespace zokc {

Watcher::Seen &Watcher::seen(uint32_t map)
{
    if (seen_.size() <= map)
        seen_.resize(map + 1);
    Seen &seen = seen_[map];
    const Map &text = maps_.map(map);
    if (seen.hits.size() != text.lines()) {
        seen.hits.assign(text.lines(), 0);
        seen.offered.assign(text.text.size() + 1, false);
    }
    return seen;
}

void Watcher::startPass(uint32_t map)
{
    map_ = map;
    text_ = &maps_.map(map);
    current_ = &seen(map);
    current_->reached = current_->reached || text_->exists;
    calls_.clear();
    result_ = PARSE_END;
    passEnd_ = {};
}

uint32_t Watcher::hits(uint32_t map, uint32_t line) const
{
    return map < seen_.size() && line < seen_[map].hits.size() ? seen_[map].hits[line] : 0;
}

bool Watcher::offered(uint32_t map, uint32_t bodyStart) const
{
    return map < seen_.size() && bodyStart < seen_[map].offered.size() && seen_[map].offered[bodyStart];
}

void Watcher::enter(uint32_t start, uint32_t limit)
{
    calls_.push_back({start, limit});
}

void Watcher::leave(int result)
{
    if (calls_.size() == 1) {
        result_ = result;
        passEnd_ = result == PARSE_END ? Location{} : end_;
    }
    if (!calls_.empty())
        calls_.pop_back();
}

// A line counts once each time a call comes to it.
void Watcher::count(Call &call, uint32_t pos)
{
    const uint32_t line = text_->lineOf[pos];
    if (line != call.line) {
        current_->hits[line]++;
        call.line = line;
    }
}

void Watcher::byte(uint32_t pos, MainState main)
{
    // An option body being read past does not run.
    if (!countLines || calls_.empty() || pos >= text_->lineOf.size() || main == MainState::OptBody)
        return;
    count(calls_.back(), pos);
}

// A span lies within one line and holds no newline: one count does.
void Watcher::span(uint32_t from, uint32_t to, MainState main)
{
    if (from < to)
        byte(from, main);
}

void Watcher::directive(Directive what, const WatchPlace &at)
{
    if (calls_.empty())
        return;
    Call &call = calls_.back();
    call.loop = at.loop;
    const uint32_t pos = at.last;
    switch (what) {
    case Directive::Name:
        name_ = pos;
        break;
    case Directive::Desc:
        desc_ = pos;
        break;
    case Directive::Tpo:
        // The closing line belongs to the option: reading the list past it
        // counts it as run, the line end after it no further.
        if (countLines)
            count(call, pos);
        break;
    case Directive::Go:
    case Directive::Exit:
    case Directive::Break:
    case Directive::Die:
    case Directive::Win:
        end_ = {map_, pos};
        endWhat_ = what;
        break;
    default:
        break;
    }
}

// A map's text is the same on every pass, and so are its bodies: where
// each line's body would close is found for the whole map at once.
uint32_t Watcher::skipBody(const char *text, uint32_t start, uint32_t limit)
{
    if (!current_ || start >= text_->lineOf.size())
        return start;
    if (current_->bodyClose.empty())
        current_->bodyClose = bodyCloseLines(text, static_cast<uint32_t>(text_->text.size() + 1));
    const uint32_t line = text_->lineOf[start];
    if (line >= current_->bodyClose.size() || text_->lineStart[line] != start)
        return start;
    const uint32_t close = current_->bodyClose[line];
    return close < limit ? close : start;
}

void Watcher::menu(uint32_t listStart, const PosList *bodies, const WatchPlace &at)
{
    if (!calls_.empty())
        calls_.back().loop = at.loop;
    menuList_ = listStart;
    menuBodies_.clear();
    for (uint32_t i = 0; i < bodies->count; i++) {
        const uint32_t start = bodies->items[i].start;
        menuBodies_.push_back(bodies->items[i]);
        if (start < current_->offered.size())
            current_->offered[start] = true;
    }
}

}  // namespace zokc
