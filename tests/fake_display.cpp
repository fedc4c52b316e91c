#include "fake_display.hpp"

#include <utility>

#include "Word.hpp"
#include "display.hpp"

namespace fake {

Display display;

void reset(std::vector<int> choices)
{
    display.events.clear();
    display.choices.assign(choices.begin(), choices.end());
    display.desc_count = 0;
}

void note(std::string event)
{
    display.events.push_back(std::move(event));
}

}  // namespace fake

int renderName(const char *text)
{
    fake::note(std::string("name:") + text);
    --fake::display.desc_count;
    return 0;
}

// A description waits for a key while an earlier one is still pending; each
// name line shown since cancels one pending wait.
int renderDesc(const char *text)
{
    if (fake::display.desc_count > 0) {
        fake::note("wait");
        fake::display.desc_count = 0;
    }
    fake::note(std::string("desc:") + text);
    ++fake::display.desc_count;
    return 0;
}

int handleOptions(WordList *labels)
{
    std::string shown = "menu:";
    int count = 0;
    // Read to the end: the null that ends the traversal also rewinds the list.
    while (Word *label = readWordList(labels)) {
        if (count++ > 0)
            shown += '|';
        shown.append(label->text, label->length);
    }
    fake::note(shown);

    if (count == 0)
        throw fake::NoChoiceLeft("menu with no options");
    if (fake::display.choices.empty())
        throw fake::NoChoiceLeft("no scripted choice left for " + shown);
    int choice = fake::display.choices.front();
    fake::display.choices.pop_front();
    if (choice < 0 || choice >= count)
        throw std::out_of_range("scripted choice " + std::to_string(choice) +
                                " not on " + shown);
    return choice;
}
