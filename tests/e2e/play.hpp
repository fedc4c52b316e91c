// What every game test shares: the fixed texts the player sees and the walk
// from the title screen through name entry into the first map.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
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

inline std::string loadFailure(std::string_view path) {
  return "Could not load " + std::string(path) + ", press a key to quit :S";
}

// Failure text: the screen, and how the program ended if it has.
inline std::string state(Terminal &t) {
  std::ostringstream os;
  if (Exit e = t.waitExit(Millis(0)); e != Exit{}) os << "the program has ended: " << e << "\n";
  os << t.screen();
  return os.str();
}

inline testing::AssertionResult shows(Terminal &t, std::string_view text, Millis timeout = kWait) {
  if (t.waitForText(text, timeout)) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "never showed \"" << text << "\"\n" << state(t);
}

inline testing::AssertionResult settles(Terminal &t) {
  if (t.settle()) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "never came to wait for a key\n" << state(t);
}

// Title screen, name entry and greeting: leaves the game at the start of the
// first map.
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

// The two key presses after an ending directive: the continue prompt, then
// the ending's message; the game must then end with status 0. Call it when no
// earlier "<continue>" is left on screen.
inline testing::AssertionResult endsWith(Terminal &t, std::string_view message) {
  if (auto r = shows(t, kContinue); !r) return r;
  t.type(" ");
  // The messages wrap inside the description pane; their first words do not.
  if (auto r = shows(t, message.substr(0, 33)); !r) return r;
  t.type(" ");
  Exit e = t.waitExit();
  if (e == Exit::code(0)) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "ended with " << e << "\n" << t.screen();
}

}  // namespace e2e
