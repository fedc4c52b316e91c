// The plain-text front end: the interpreter's three outputs as transcript
// lines, answers read a line at a time, and the map loop on top of them.
#include "dumb_display.hpp"

#include "Word.hpp"
#include "display.hpp"
#include "interp.hpp"
#include "string.hpp"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <istream>
#include <memory>
#include <ostream>
#include <string_view>
#include <vector>

namespace dumb {

Display display;

void Display::reset(std::istream &input, std::ostream &output, bool echoAnswers)
{
    in = &input;
    out = &output;
    echo = echoAnswers;
    desc_count = 0;
    prompts = 0;
}

std::string visible(std::string_view text)
{
    std::string shown;
    shown.reserve(text.size());
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte == 0x7F) {
            shown += "^?";
        } else if (byte < 0x20 && ch != '\n' && ch != '\t') {
            shown += '^';
            shown += static_cast<char>(byte + 0x40);
        } else {
            shown += ch;
        }
    }
    return shown;
}

namespace {

void writeText(std::string_view text)
{
    *display.out << visible(text);
}

// Reads one answer line, without its line end. At the end of the input the
// prompt's line is finished and the run ends.
std::string readAnswer()
{
    display.prompts++;
    display.out->flush();
    std::string line;
    if (!std::getline(*display.in, line)) {
        *display.out << '\n';
        display.out->flush();
        throw InputEnded{};
    }
    if (display.echo) {
        writeText(line);
        *display.out << '\n';
    }
    return line;
}

// The option number in an answer line (blanks and a carriage return around
// it allowed), or 0 when the line holds no number from 1 to count.
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

void say(const char *message)
{
    *display.out << message << '\n';
}

struct FreeText {
    void operator()(char *text) const { free(text); }
};

}  // namespace

void continueWait()
{
    *display.out << "[continue]";
    readAnswer();
}

Ending playGame(const MapLoader &load, uint32_t maxIdlePasses)
{
    go_map = setStringF(go_map, "%s", "start");
    uint32_t idlePasses = 0;
    try {
        for (;;) {
            const uint64_t promptsBefore = display.prompts;
            const std::unique_ptr<char, FreeText> path(mapPath(go_map));
            const std::optional<std::string> script = load(path.get());
            if (!script) {
                *display.out << "Could not load ";
                writeText(path.get());
                say(", press a key to quit :S");
                return Ending::MapMissing;
            }
            // The text in a block of exactly its size, as the file reader
            // hands it over: parse_r runs up to and including the zero byte.
            const size_t size = script->size() + 1;
            const std::unique_ptr<char[]> text(new char[size]);
            memcpy(text.get(), script->c_str(), size);
            const int result = parse_r(text.get(), 0, static_cast<uint32_t>(size));

            if (result == PARSE_GO || result == PARSE_DIE || result == PARSE_WIN)
                continueWait();
            if (result == PARSE_DIE) {
                say(DEATH_MESSAGE);
                return Ending::Died;
            }
            if (result == PARSE_WIN) {
                say(VICTORY_MESSAGE);
                return Ending::Won;
            }
            idlePasses = display.prompts == promptsBefore ? idlePasses + 1 : 0;
            if (maxIdlePasses > 0 && idlePasses >= maxIdlePasses)
                return Ending::Idle;
        }
    } catch (const InputEnded &) {
        return Ending::InputEnded;
    }
}

}  // namespace dumb

int renderName(const char *text)
{
    *dumb::display.out << "==";
    dumb::writeText(text);
    *dumb::display.out << '\n';
    dumb::display.desc_count--;
    return 0;
}

// A description waits while an earlier one is still pending, that is when
// more descriptions than name lines have been shown since the last wait.
int renderDesc(const char *text)
{
    if (dumb::display.desc_count > 0) {
        dumb::continueWait();
        dumb::display.desc_count = 0;
    }
    const std::string_view shown(text);
    dumb::writeText(shown);
    if (!shown.empty() && shown.back() != '\n')
        *dumb::display.out << '\n';
    dumb::display.desc_count++;
    return 0;
}

// Numbered labels, then a prompt until a line names one of them. A list
// with no labels has nothing to ask about.
int handleOptions(WordList *labels)
{
    std::vector<const Word *> shown;
    while (const Word *label = readWordList(labels))  // the closing null rewinds the list
        shown.push_back(label);
    if (shown.empty())
        return 0;
    std::ostream &out = *dumb::display.out;
    for (size_t n = 0; n < shown.size(); n++) {
        out << std::setw(3) << n + 1 << ')';
        dumb::writeText({shown[n]->text, shown[n]->length});
        out << '\n';
    }
    for (;;) {
        out << "> ";
        if (const size_t choice = dumb::optionNumber(dumb::readAnswer(), shown.size()))
            return static_cast<int>(choice - 1);
        out << "  (answer with a number from 1 to " << shown.size() << ")\n";
    }
}
