// A pseudo-terminal driver for end-to-end tests: runs a program on a pty in a
// scratch directory, feeds everything it writes into a libvterm emulator, and
// lets a test type keys (encoded by the emulator, as a real terminal would
// send them), wait for text, read cells and colours, resize, hang up and
// collect the exit status.
//
// Nothing here sleeps for a fixed time: every wait polls the pty until its
// condition holds or its timeout runs out, and the destructor kills and reaps
// a child that is still running.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <vterm.h>

namespace e2e {

using namespace std::chrono_literals;
using Millis = std::chrono::milliseconds;

// Generous defaults: the suite also runs under the sanitizers on two cores.
inline constexpr Millis kWait = 15s;

struct Launch {
  // Program and arguments; empty means the zok binary under test.
  std::vector<std::string> argv;
  // game/<name>.zok files to create, name -> content (bytes, unchanged).
  std::map<std::string, std::string> maps;
  // game/<name>.zok entries created as directories instead of files.
  std::vector<std::string> mapDirs;
  // game/<name>.zok files created empty with mode 000.
  std::vector<std::string> unreadableMaps;
  std::string term = "xterm-256color";
  std::string locale = "C.UTF-8";  // LANG and LC_ALL
  int rows = 24;
  int cols = 80;
  // Start the child with SIGHUP blocked, so a hang-up reaches it only as
  // failing reads (as under a parent that holds hang-ups off).
  bool blockHangup = false;
};

struct Exit {
  enum Kind { StillRunning, Exited, Signalled } kind = StillRunning;
  int value = 0;  // exit code or signal number

  static Exit code(int c) { return {Exited, c}; }
  static Exit signal(int s) { return {Signalled, s}; }
  bool operator==(const Exit &) const = default;
};
std::ostream &operator<<(std::ostream &os, const Exit &e);

struct Colour {
  bool isDefault = true;  // the terminal's default colour
  bool indexed = false;   // palette index in `index`
  int index = -1;
  bool operator==(const Colour &) const = default;
  static Colour byDefault() { return {}; }
  static Colour palette(int i) { return {false, true, i}; }
};
std::ostream &operator<<(std::ostream &os, const Colour &c);

struct Cell {
  std::string text;  // UTF-8; empty for a blank cell
  Colour fg, bg;
  bool reverse = false;
  bool bold = false;
};

class Terminal {
 public:
  explicit Terminal(const Launch &launch);
  ~Terminal();
  Terminal(const Terminal &) = delete;
  Terminal &operator=(const Terminal &) = delete;

  // --- Waiting -----------------------------------------------------------
  // Pumps the pty until `text` shows somewhere on the screen (within a row).
  bool waitForText(std::string_view text, Millis timeout = kWait);
  // Pumps the pty until `text` is gone from the screen.
  bool waitForTextGone(std::string_view text, Millis timeout = kWait);
  // Pumps the pty until `pred` holds.
  bool waitUntil(const std::function<bool()> &pred, Millis timeout = kWait);
  // Pumps until the program sits blocked in a read with no input pending and
  // has written nothing for a while: it has acted on every key sent so far
  // and waits for the next one. False on timeout (a busy or spinning child).
  bool settle(Millis timeout = kWait);
  // Pumps until the child ends; StillRunning on timeout.
  Exit waitExit(Millis timeout = kWait);

  // --- Keys --------------------------------------------------------------
  void key(VTermKey k, VTermModifier mod = VTERM_MOD_NONE);
  void up() { key(VTERM_KEY_UP); }
  void down() { key(VTERM_KEY_DOWN); }
  void enter() { key(VTERM_KEY_ENTER); }
  void backspace() { key(VTERM_KEY_BACKSPACE); }
  // Types text (UTF-8) one character at a time through the emulator.
  void type(std::string_view utf8);
  // Writes bytes straight to the program's input.
  void sendRaw(std::string_view bytes);

  // --- Screen ------------------------------------------------------------
  int rows() const { return rows_; }
  int cols() const { return cols_; }
  Cell cell(int r, int c) const;
  // One row as UTF-8, blank cells as spaces, trailing blanks removed.
  std::string row(int r) const;
  // `n` cells of row `r` from column `c`, blank cells as spaces.
  std::string textAt(int r, int c, int n) const;
  // Column (in cells) where `text` starts in row `r`, or -1.
  int findInRow(int r, std::string_view text) const;
  // Row where `text` shows, or -1.
  int findRow(std::string_view text) const;
  bool showing(std::string_view text) const { return findRow(text) >= 0; }
  // The whole screen, one line per row, framed for failure messages.
  std::string screen() const;

  // --- Terminal state ----------------------------------------------------
  bool altScreen() const { return altScreen_; }
  bool cursorVisible() const { return cursorVisible_; }
  const std::string &windowTitle() const { return title_; }
  // Every byte the program wrote, in order.
  const std::string &transcript() const { return transcript_; }

  // --- Process and pty ---------------------------------------------------
  // New window size on the pty (the program gets SIGWINCH) and the emulator.
  void resize(int rows, int cols);
  // Hangs up: closes the pty master.
  void closeMaster();
  void sendSignal(int sig);
  pid_t pid() const { return pid_; }
  const std::string &dir() const { return dir_; }

 private:
  static void onOutput(const char *s, size_t len, void *user);
  static int onTermProp(VTermProp prop, VTermValue *val, void *user);
  // Waits up to `wait` for output, then reads all that is there; returns the
  // number of bytes fed to the emulator.
  size_t pump(Millis wait);
  void writeMaster(const char *s, size_t len);
  bool reap(bool block);
  void makeGameDir(const Launch &launch);
  std::vector<std::string> rowCells(int r) const;

  VTerm *vt_ = nullptr;
  VTermScreen *vscreen_ = nullptr;
  VTermScreenCallbacks callbacks_{};
  int master_ = -1;
  int slave_ = -1;  // kept open to look at the program's pending input
  pid_t pid_ = -1;
  bool reaped_ = false;
  Exit exit_;
  int rows_, cols_;
  bool altScreen_ = false;
  bool cursorVisible_ = true;
  std::string title_;
  std::string transcript_;
  std::string dir_;
};

}  // namespace e2e
