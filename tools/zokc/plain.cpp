// The plain front end: shows the game as transcript lines and takes the
// player's answers a line at a time, from a replay file and then the input.
#include "plain.hpp"

#include "Word.hpp"
#include "string.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <istream>
#include <memory>
#include <ostream>
#include <vector>

namespace plain {

std::string visible(std::string_view text)
{
    return visibleText(text);
}

namespace {

struct FreeText {
    void operator()(char *text) const { free(text); }
};

}  // namespace

Plain::Plain(replay::Reader &in, std::ostream &out, bool echo) : in_(in), out_(out), echo_(echo) {}

void Plain::replayFrom(replay::Reader &replay)
{
    replay_ = &replay;
}

void Plain::recordTo(replay::Record &record)
{
    record_ = &record;
}

void Plain::write(std::string_view text)
{
    out_ << visible(text);
}

// The next answer, without its line end. Answers not typed at a terminal
// are repeated (echoed, or as a bare line end), so the transcript reads
// whole. At the end of all input the prompt's line is finished and play ends.
std::string Plain::answer(Source &from, bool echoed)
{
    if (!out_.flush())
        throw replay::Failed{std::string("cannot write standard output: ") + strerror(errno)};
    std::string line;
    if (replay_ && replay_->next(line)) {
        from = Source::Replay;
    } else if (in_.next(line)) {
        replay_ = nullptr;
        from = Source::Input;
    } else {
        out_ << '\n';
        out_.flush();
        throw InputEnded{};
    }
    if (echo_ || from == Source::Replay) {
        if (echoed)
            write(line);
        out_ << '\n';
    }
    return line;
}

void Plain::keep(std::string_view answer)
{
    if (record_)
        record_->add(answer);
}

void Plain::greet()
{
    out_ << "Enter your name: ";
    Source from;
    const std::string name = answer(from);
    keep(name);
    const std::unique_ptr<char, FreeText> text(greeting(name.c_str()));
    write(text.get());
    waitContinue();
}

void Plain::showName(const char *text)
{
    out_ << "==";
    write(text);
    out_ << '\n';
}

void Plain::showDesc(const char *text)
{
    const std::string_view shown(text);
    write(shown);
    if (!shown.empty() && shown.back() != '\n')
        out_ << '\n';
}

void Plain::waitContinue()
{
    out_ << "[continue]";
    Source from;
    const std::string line = answer(from, false);  // any key goes on: what was typed does not matter
    // but a replay answers a key wait with an empty line; a menu answer
    // there means the game has changed since it was recorded
    if (from == Source::Replay && line.find_first_not_of(" \t\r") != std::string::npos)
        throw ReplayMismatch{replay_->name(), replay_->lineNumber(), line, {}};
    keep("");
}

// Numbered labels, then a prompt until an answer names one of them.
int Plain::chooseOption(WordList *labels)
{
    std::vector<const Word *> words;
    while (const Word *label = readWordList(labels))  // the closing null rewinds the list
        words.push_back(label);
    if (words.empty())
        return 0;
    std::vector<std::string> shown;
    for (size_t n = 0; n < words.size(); n++) {
        const std::string_view text(words[n]->text, words[n]->length);
        shown.push_back(replay::label(text));
        out_ << std::setw(3) << n + 1 << ')';
        write(text);
        out_ << '\n';
    }
    for (;;) {
        out_ << "> ";
        Source from;
        const std::string line = answer(from);
        const replay::Answer given = replay::parse(line);
        if (given.number >= 1 && given.number <= shown.size() &&
            (given.label.empty() || given.label == shown[given.number - 1])) {
            const int choice = static_cast<int>(given.number - 1);
            keep(replay::line({choice, shown[given.number - 1]}));
            return choice;
        }
        if (from == Source::Replay)
            throw ReplayMismatch{replay_->name(), replay_->lineNumber(), line, shown};
        out_ << "  (answer with a number from 1 to " << shown.size() << ")\n";
    }
}

void Plain::showMessage(const char *text)
{
    showDesc(text);
    out_.flush();
}

}  // namespace plain
