// A headless stand-in for the curses display: renderName, renderDesc and
// handleOptions append what the player would see to a transcript, and menus
// are answered from a queue of scripted choices.
#pragma once
#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

namespace fake {

// Thrown by handleOptions when a menu comes up and no scripted choice is
// left for it (or it has no labels at all), so a looping menu cannot hang
// a test. The interpreter's frames unwind through it.
struct NoChoiceLeft : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Transcript events, in order:
//   "name:<text>"          a name line
//   "wait"                 the <continue> key wait before a description
//   "desc:<text>"          a description block
//   "menu:<l1>|<l2>|..."   a menu with its labels, exactly as stored
// Test code may add events of its own (the map loop's prompts) with note().
struct Display {
    std::vector<std::string> events;
    std::deque<int> choices;  // 0-based option indices, one per menu
    int32_t desc_count = 0;   // pending-description counter, as on screen
};

extern Display display;

// Clears the transcript and the counter and queues the given choices.
void reset(std::vector<int> choices = {});
void note(std::string event);

}  // namespace fake
