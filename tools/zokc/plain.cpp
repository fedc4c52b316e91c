// The plain front end: shows the game as transcript lines and takes the
// player's answers a line at a time, from a replay file and then the input.
#include "plain.hpp"

#include "Word.hpp"
#include "string.hpp"

#include <charconv>
#include <cstdlib>
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

// The option number in an answer (blanks and a carriage return around it
// allowed), or 0 when it holds no number from 1 to count.
size_t optionNumber(std::string_view line, size_t count)
{
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return 0;
    line = line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
    size_t number = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), number);
    if (error != std::errc() || end != line.data() + line.size() || number > count)
        return 0;
    return number;
}

struct FreeText {
    void operator()(char *text) const { free(text); }
};

}  // namespace

Plain::Plain(std::istream &in, std::ostream &out, bool echo) : in_(in), out_(out), echo_(echo) {}

void Plain::replayFrom(std::istream &replay, std::string file)
{
    replay_ = &replay;
    replayFile_ = std::move(file);
    replayLine_ = 0;
}

void Plain::recordTo(std::ostream &record)
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
    out_.flush();
    std::string line;
    if (replay_ && std::getline(*replay_, line)) {
        replayLine_++;
        from = Source::Replay;
    } else if (std::getline(in_, line)) {
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

void Plain::keep(const std::string &answer)
{
    if (record_)
        *record_ << answer << '\n' << std::flush;
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
    answer(from, false);  // any key goes on: what was typed does not matter
    keep("");
}

// Numbered labels, then a prompt until an answer names one of them.
int Plain::chooseOption(WordList *labels)
{
    std::vector<const Word *> shown;
    while (const Word *label = readWordList(labels))  // the closing null rewinds the list
        shown.push_back(label);
    if (shown.empty())
        return 0;
    for (size_t n = 0; n < shown.size(); n++) {
        out_ << std::setw(3) << n + 1 << ')';
        write({shown[n]->text, shown[n]->length});
        out_ << '\n';
    }
    for (;;) {
        out_ << "> ";
        Source from;
        const std::string line = answer(from);
        if (const size_t choice = optionNumber(line, shown.size())) {
            keep(std::to_string(choice));
            return static_cast<int>(choice - 1);
        }
        if (from == Source::Replay)
            throw ReplayMismatch{replayFile_, replayLine_, line, shown.size()};
        out_ << "  (answer with a number from 1 to " << shown.size() << ")\n";
    }
}

void Plain::showMessage(const char *text)
{
    showDesc(text);
    out_.flush();
}

}  // namespace plain
