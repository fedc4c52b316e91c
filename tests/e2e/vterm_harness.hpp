// A pseudo-terminal driver for end-to-end tests: runs the zok binary on a pty
// in a scratch directory, feeds what it writes into a libvterm emulator, types
// keys encoded by the emulator (as a real terminal sends them in the keypad
// mode the program chose), and reads cells, colours and the exit status.
//
// Nothing sleeps for a fixed time: every wait polls the pty until its
// condition holds or its timeout runs out, and the destructor kills and reaps
// a child that is still running.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <vterm.h>

namespace e2e {

using namespace std::chrono_literals;
using Millis = std::chrono::milliseconds;

// Generous: the suite also runs under the sanitizers on two busy cores.
inline constexpr Millis kWait = 15s;

struct Launch {
  std::map<std::string, std::string> maps;  // game/<name>.zok -> its bytes
  std::vector<std::string> mapDirs;         // game/<name>.zok made a directory
  std::vector<std::string> unreadableMaps;  // game/<name>.zok with mode 000
  std::string term = "xterm-256color";      // LANG and LC_ALL are C.UTF-8
  int rows = 24, cols = 80;
  // Start with SIGHUP blocked, so a hang-up shows only as failing reads.
  bool blockHangup = false;
};

// Cell colours: a palette index, or one of these.
inline constexpr int kDefaultColour = -1, kRgbColour = -2;

struct Cell {
  std::string text;  // UTF-8; a blank cell reads as " "
  int fg, bg;
};

class Terminal {
 public:
  explicit Terminal(const Launch &launch);
  ~Terminal();
  Terminal(const Terminal &) = delete;
  Terminal &operator=(const Terminal &) = delete;

  // Pumps the pty until `text` shows within one row.
  bool waitForText(std::string_view text, Millis timeout = kWait);
  // Pumps until the program sits blocked in a read with no input pending and
  // has written nothing for a while: it has acted on every key sent so far.
  // False on timeout (a busy or spinning program).
  bool settle(Millis timeout = kWait);
  // Pumps until the program ends: "exit N" or "signal N"; "running" if the
  // timeout passes first.
  std::string waitExit(Millis timeout = kWait);

  void key(VTermKey k) { vterm_keyboard_key(vt_, k, VTERM_MOD_NONE); }
  void up() { key(VTERM_KEY_UP); }
  void down() { key(VTERM_KEY_DOWN); }
  void enter() { key(VTERM_KEY_ENTER); }
  void backspace() { key(VTERM_KEY_BACKSPACE); }
  void type(std::string_view utf8);      // one character at a time
  void sendRaw(std::string_view bytes);  // straight to the program's input

  Cell cell(int r, int c) const;
  std::string textAt(int r, int c, int n) const;  // n cells from (r, c)
  std::string row(int r) const;                   // trailing blanks removed
  int findInRow(int r, std::string_view text) const;  // column, or -1
  bool showing(std::string_view text) const;
  std::string screen() const;  // every row, numbered, for failure messages

  bool altScreen() const { return altScreen_; }
  bool cursorVisible() const { return cursorVisible_; }
  const std::string &windowTitle() const { return title_; }

  // New window size on the pty (the program gets SIGWINCH) and the emulator.
  void resize(int rows, int cols);
  void closeMaster();  // hangs up
  void sendSignal(int sig);

 private:
  static void onOutput(const char *s, size_t len, void *user);
  static int onTermProp(VTermProp prop, VTermValue *val, void *user);
  size_t pump(Millis wait);  // waits for output, feeds all there is
  void drain();
  bool reap(bool block);

  VTerm *vt_ = nullptr;
  VTermScreen *vscreen_ = nullptr;
  VTermScreenCallbacks callbacks_{};
  int master_ = -1, slave_ = -1;  // the slave stays open to see pending input
  pid_t pid_ = -1;
  bool reaped_ = false;
  std::string exit_ = "running";
  int rows_, cols_;
  bool altScreen_ = false, cursorVisible_ = true;
  std::string title_, dir_;
};

}  // namespace e2e
