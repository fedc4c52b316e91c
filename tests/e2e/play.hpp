// What the game tests share: the fixed texts the player sees, the 80 x 24
// layout, and the walk from the title screen into the first map.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "vterm_harness.hpp"

namespace e2e {

inline constexpr std::string_view kPressAnyKey = "press any key to continue :)";
inline constexpr std::string_view kNamePrompt = "Enter your name:";
inline constexpr std::string_view kContinue = "<continue>";
inline constexpr std::string_view kVictory = "Congratulations, victory is yours!";
inline constexpr std::string_view kDeath =
    "It seems you've kicked the bucket in some manner or another - good luck next time!";

// On 80 x 24 the first layout puts the name line on row 0, the description
// pane on rows 1-18 and the options pane on rows 18-23, both from column 1
// and 78 wide. A description's text starts with the newline after ".desc".
inline constexpr int kDescTop = 1, kOptsTop = 18;

inline Launch game(std::map<std::string, std::string> maps) {
  Launch l;
  l.maps = std::move(maps);
  return l;
}

inline std::string loadFailure(std::string_view path) {
  return "Could not load " + std::string(path) + ", press a key to quit :S";
}

inline testing::AssertionResult shows(Terminal &t, std::string_view text) {
  if (t.waitForText(text)) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "never showed \"" << text << "\"; program "
                                     << t.waitExit(0ms) << "\n" << t.screen();
}

inline testing::AssertionResult settles(Terminal &t) {
  if (t.settle()) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "never came to wait for a key\n" << t.screen();
}

// Title, name entry and greeting: leaves the game entering the first map.
inline testing::AssertionResult enterGame(Terminal &t, std::string_view name = "Box") {
  if (auto r = shows(t, kPressAnyKey); !r) return r;
  t.type(" ");
  if (auto r = shows(t, kNamePrompt); !r) return r;
  t.type(name);
  t.enter();
  if (auto r = shows(t, "Welcome, " + std::string(name) + "!"); !r) return r;
  t.type(" ");
  return testing::AssertionSuccess();
}

// The two keys after an ending directive, the continue prompt and the
// ending's message; the game must then end with status 0.
inline testing::AssertionResult endsWith(Terminal &t, std::string_view message) {
  if (auto r = shows(t, kContinue); !r) return r;
  t.type(" ");
  if (auto r = shows(t, message.substr(0, 33)); !r) return r;  // the message may wrap
  t.type(" ");
  if (std::string e = t.waitExit(); e != "exit 0")
    return testing::AssertionFailure() << "ended with " << e << "\n" << t.screen();
  return testing::AssertionSuccess();
}

}  // namespace e2e
