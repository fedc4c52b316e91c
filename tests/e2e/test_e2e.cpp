// End-to-end cases: each file in e2e/cases runs the real zok on a pseudo-terminal read by a libvterm
// emulator and plays it as a player would, checking the screen on the way. Lines before the first section
// say what the case shows.
//   @@ map NAME          game/NAME.zok up to the next section, laid out by tests/run-case (its escapes: \r \t \0
//                        \xHH \\ stand for bytes, \c ends it, a backslash before any other byte stands for itself)
//   @@ game DIR          the repository's folder DIR as game/
//   @@ keys [OPTION...]  one run of zok in a fresh folder with those maps, then its steps, one a line. Options:
//                        size=RxC (24x80), term=NAME (xterm-256color; empty, or unset: none), sighup=blocked
// Before each step zok acts on all it was sent, until it waits for a key or ends. Input fails once it has
// ended; checks wait until they hold and fail after a while, showing the screen.
//   type TEXT             bytes as typed, escaped as in maps
//   key NAME [N]          enter up down left backspace delete end pgup f1 f5
//   answers A,B,...       from the title: a key, the name, then "" for a key or n for option n of a menu
//   replay FILE           the same from a file in the repository, one a line (zokc play --record writes it)
//   resize R C            signal HUP|INT|QUIT|TERM|USR1|TSTP|CONT        close (hangs the terminal up)
//   wait TEXT             TEXT shows            absent TEXT (it does not)
//   row R TEXT            row R reads TEXT, trailing blanks dropped
//   highlight [R C TEXT]  the cells not in plain colours are all 0 on 2 and read TEXT from (R, C); or none
//   modes TEXT            "alternate|normal screen, cursor visible|hidden[, title T]"
//   exit STATUS           zok ends with STATUS: 0, 1, signal N
//   won                   the .win prompt, a key, the victory message, a key: status 0, the terminal restored
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <utmp.h>
#include <vterm.h>

#include "rules.hpp"

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using Error = std::runtime_error;
constexpr auto kWait = std::chrono::seconds(15);  // generous: sanitizers on two busy cores

// zok on a pty in `dir`, its output fed to the emulator. Every wait polls the pty until its condition holds or
// kWait runs out; nothing sleeps for a fixed time. The destructor kills and reaps a zok still running.
struct Terminal {
  Terminal(const fs::path &dir, const std::string &term, int height, int width, bool blockHangup)
      : vt(vterm_new(height, width)), screen(vterm_obtain_screen(vt)), rows(height), cols(width) {
    vterm_set_utf8(vt, 1);
    vterm_output_set_callback(vt, [](const char *s, size_t n, void *t) { static_cast<Terminal *>(t)->send({s, n}); },
                              this);
    vterm_screen_enable_altscreen(screen, 1);
    callbacks.settermprop = [](VTermProp prop, VTermValue *val, void *user) {
      auto *t = static_cast<Terminal *>(user);
      if (prop == VTERM_PROP_ALTSCREEN) t->altScreen = val->boolean;
      if (prop == VTERM_PROP_CURSORVISIBLE) t->cursorVisible = val->boolean;
      if (prop == VTERM_PROP_TITLE) t->title = val->string ? val->string : "";
      return 1;
    };
    vterm_screen_set_callbacks(screen, &callbacks, this);
    vterm_screen_reset(screen, 1);
    winsize ws{static_cast<unsigned short>(rows), static_cast<unsigned short>(cols), 0, 0};
    if (openpty(&master, &slave, nullptr, nullptr, &ws) < 0 || (pid = fork()) < 0) throw Error("no pty");
    if (pid == 0) {
      sigset_t mask;
      sigemptyset(&mask);
      if (blockHangup) sigaddset(&mask, SIGHUP);  // a hang-up then shows only as failing reads
      for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGPIPE, SIGTSTP, SIGCONT, SIGWINCH})
        ::signal(sig, SIG_DFL);
      if (term == "unset") unsetenv("TERM");
      else setenv("TERM", term.c_str(), 1);
      setenv("LANG", "C.UTF-8", 1), setenv("LC_ALL", "C.UTF-8", 1);
      unsetenv("LINES"), unsetenv("COLUMNS"), close(master);
      if (sigprocmask(SIG_SETMASK, &mask, nullptr) == 0 && login_tty(slave) == 0 && chdir(dir.c_str()) == 0)
        execl(ZOK_BINARY, ZOK_BINARY, nullptr);
      _exit(127);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);  // the slave stays open to see pending input
  }
  ~Terminal() {
    if (!ended()) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
    if (master >= 0) close(master);
    close(slave), vterm_free(vt);
  }

  bool until(const std::function<bool()> &done) {
    for (auto end = std::chrono::steady_clock::now() + kWait; !done(); pump(50))
      if (std::chrono::steady_clock::now() > end) return false;
    return true;
  }
  // Until zok has acted on all it was sent: it sits in a read with no input
  // pending and has written nothing for a while, or it has ended.
  bool settle() {
    int quiet = 0, pending = 1;
    return until([&] {
      std::string stat;
      if (pump(40) == 0 && ioctl(slave, FIONREAD, &pending) == 0 && pending == 0)
        std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/stat"), stat);
      const auto state = stat.rfind(") ");  // the state letter follows
      quiet = state != std::string::npos && stat[state + 2] == 'S' ? quiet + 1 : 0;
      return quiet >= 4 || ended();
    });
  }
  bool ended() {  // reaps zok once it has ended and reads what it wrote last
    int st;
    if (status == "running" && waitpid(pid, &st, WNOHANG) == pid) {
      status = WIFEXITED(st) ? std::to_string(WEXITSTATUS(st)) : "signal " + std::to_string(WTERMSIG(st));
      while (pump(0) > 0) continue;
    }
    return status != "running";
  }
  void send(std::string_view bytes) {
    for (int tries = 0; !bytes.empty() && master >= 0 && tries < 1000; ++tries)
      if (ssize_t n = write(master, bytes.data(), bytes.size()); n > 0) bytes.remove_prefix(n);
      else pump(10);  // zok is not reading: take its output meanwhile
  }
  void resize(int height, int width) {  // zok gets SIGWINCH
    vterm_set_size(vt, rows = height, cols = width);
    winsize ws{static_cast<unsigned short>(rows), static_cast<unsigned short>(cols), 0, 0};
    ioctl(master, TIOCSWINSZ, &ws);
  }

  std::string text(int r, int c, int width) const {  // a blank cell reads " " when text follows it
    std::string s(width * 4 * VTERM_MAX_CHARS_PER_CELL, '\0');
    s.resize(vterm_screen_get_text(screen, s.data(), s.size(), VTermRect{r, r + 1, c, c + width}));
    return s;
  }
  std::string row(int r) const {  // trailing blanks removed
    std::string s = text(r, 0, cols);
    return s.erase(s.find_last_not_of(' ') + 1);
  }
  bool showing(std::string_view what) const {
    for (int r = 0; r < rows; ++r)
      if (row(r).find(what) != std::string::npos) return true;
    return false;
  }
  // Where the first cell not in plain colours (the terminal's defaults or curses' own, 7 on 0) is and what
  // all of them read, if all are 0 on 2; colours by palette index, -1 the default, -2 RGB.
  std::string highlight() const {
    std::string at, s;
    const auto index = [](const VTermColor &c, bool dflt) {
      return std::to_string(dflt ? -1 : VTERM_COLOR_IS_INDEXED(&c) ? c.indexed.idx : -2);
    };
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < cols; ++c) {
        VTermScreenCell cell{};
        vterm_screen_get_cell(screen, VTermPos{r, c}, &cell);
        const std::string colours = index(cell.fg, VTERM_COLOR_IS_DEFAULT_FG(&cell.fg)) + " on " +
                                    index(cell.bg, VTERM_COLOR_IS_DEFAULT_BG(&cell.bg));
        if (colours == "-1 on -1" || colours == "7 on 0") continue;
        if (colours != "0 on 2") return "colour " + colours + " at " + std::to_string(r) + " " + std::to_string(c);
        if (at.empty()) at = std::to_string(r) + " " + std::to_string(c) + " ";
        s += cell.chars[0] ? text(r, c, 1) : " ";
      }
    return at.empty() ? "none" : at + s.erase(s.find_last_not_of(' ') + 1);
  }
  std::string modes() const {
    return (altScreen ? "alternate" : "normal") + std::string(" screen, cursor ") +
           (cursorVisible ? "visible" : "hidden") + (title.empty() ? "" : ", title " + title);
  }
  std::string dump() const {
    std::string s = std::to_string(rows) + "x" + std::to_string(cols) + ", " + modes() + ", zok " + status + ":\n";
    for (int r = 0; r < rows; ++r) s += (r < 10 ? " " : "") + std::to_string(r) + "|" + row(r) + "\n";
    return s;
  }
  size_t pump(int ms) {  // waits up to `ms` for output and feeds all there is to the emulator
    pollfd p{master, POLLIN, 0};  // with the master closed, just waits
    if (poll(&p, master < 0 ? 0 : 1, ms) <= 0) return 0;
    size_t total = 0;
    char buf[4096];
    for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR);)
      if (n > 0) vterm_input_write(vt, buf, n), total += n;  // to EAGAIN, or EIO once hung up
    vterm_screen_flush_damage(screen);
    return total;
  }

  VTerm *vt;
  VTermScreen *screen;
  VTermScreenCallbacks callbacks{};
  int rows, cols, master = -1, slave = -1;
  pid_t pid = -1;
  bool altScreen = false, cursorVisible = true;
  std::string title, status = "running";  // or the exit status, or "signal N"
};

// What a shell command prints (run-case decodes a case's escapes and lays out its maps: one decoder for all runners).
std::string shell(const std::string &command) {
  std::string out;
  FILE *pipe = popen(command.c_str(), "r");
  if (!pipe) throw Error("cannot run " + command);
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
  if (pclose(pipe) != 0) throw Error(command + " failed");
  return out;
}
std::string quoted(const std::string &text) {  // for the shell, in single quotes
  std::string q = "'";
  for (char ch : text) q += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return q + "'";
}
const std::string runCase = quoted(fs::path(REPO_DIR) / "tests/run-case");
std::string decoded(const std::string &text) {
  return text.find('\\') == text.npos ? text : shell(runCase + " --decode " + quoted(text));
}

// Plays one step; a failing one throws. `sent`: zok has input it may not have acted on yet.
void step(Terminal &t, bool &sent, const std::string &line) {
  const auto blank = line.find(' ');
  const std::string verb = line.substr(0, blank), rest = blank == line.npos ? "" : line.substr(blank + 1);
  const std::string text = rest.substr(std::min(rest.find(' '), rest.size() - 1) + 1);  // after a row's number
  std::istringstream words(rest);
  std::string name;
  int r = -1, c = -1, times = 1;
  std::istringstream(rest) >> r >> c;
  const auto settled = [&] {
    if (sent && !t.settle()) throw Error("zok never came to wait for a key");
    sent = false;
  };
  const auto input = [&] {
    if (t.ended()) throw Error("zok has ended: " + t.status);
    sent = true;
  };
  const auto key = [&](VTermKey k) { vterm_keyboard_key(t.vt, k, VTERM_MOD_NONE); };  // as in zok's keypad mode
  const auto expect = [&](const std::function<bool()> &holds, const std::function<std::string()> &why) {
    if (!t.until(holds)) throw Error(why());
    return true;
  };
  const auto answers = [&](std::istream &&in, char sep) {
    input(), t.send(" ");  // leaves the title screen
    std::string a;
    for (bool name = true; std::getline(in, a, sep); name = false) {
      settled(), input();
      if (name) t.send(a);
      else if (a.empty()) t.send(" ");
      else for (int i = std::stoi(a); i > 1; --i) key(VTERM_KEY_DOWN);
      if (name || !a.empty()) key(VTERM_KEY_ENTER);
    }
    return true;
  };
  static const std::map<std::string, VTermKey> keys = {{"enter", VTERM_KEY_ENTER}, {"up", VTERM_KEY_UP},
      {"down", VTERM_KEY_DOWN}, {"left", VTERM_KEY_LEFT}, {"backspace", VTERM_KEY_BACKSPACE},
      {"delete", VTERM_KEY_DEL}, {"end", VTERM_KEY_END}, {"pgup", VTERM_KEY_PAGEUP},
      {"f1", VTermKey(VTERM_KEY_FUNCTION(1))}, {"f5", VTermKey(VTERM_KEY_FUNCTION(5))}};
  static const std::map<std::string, int> signals = {{"HUP", SIGHUP}, {"INT", SIGINT}, {"QUIT", SIGQUIT},
      {"TERM", SIGTERM}, {"USR1", SIGUSR1}, {"TSTP", SIGTSTP}, {"CONT", SIGCONT}};
  // Name, arguments, action: false when the arguments do not fit.
  const std::vector<std::tuple<std::string, std::string, std::function<bool()>>> steps = {
    {"type", "TEXT", [&] { return input(), t.send(decoded(rest)), true; }},
    {"key", "NAME [N]", [&] {
      if (!(words >> name) || !keys.contains(name)) return false;
      for (words >> times, input(); times-- > 0;) key(keys.at(name));
      return true;
    }},
    {"answers", "A,B,...", [&] { return answers(std::istringstream(rest + ","), ','); }},
    {"replay", "FILE", [&] { return answers(std::ifstream(fs::path(REPO_DIR) / rest), '\n'); }},
    {"resize", "R C", [&] { return c > 0 && (input(), t.resize(r, c), true); }},
    {"signal", "NAME", [&] { return signals.contains(rest) && (input(), kill(t.pid, signals.at(rest)), true); }},
    {"close", "", [&] { return input(), close(t.master), t.master = -1, true; }},
    {"wait", "TEXT", [&] { return expect([&] { return t.showing(rest); }, [] { return "never showed"; }); }},
    {"absent", "TEXT", [&] { return expect([&] { return !t.showing(rest); }, [] { return "shows"; }); }},
    {"row", "R TEXT", [&] {
      return r >= 0 && expect([&] { return t.row(r) == text; }, [&] { return "reads \"" + t.row(r) + "\""; });
    }},
    {"highlight", "[R C TEXT]", [&] {
      return expect([&] { return t.highlight() == (rest.empty() ? "none" : rest); }, [&] { return t.highlight(); });
    }},
    {"modes", "TEXT", [&] { return expect([&] { return t.modes() == rest; }, [&] { return t.modes(); }); }},
    {"exit", "STATUS", [&] {
      expect([&] { return t.ended(); }, [] { return "zok is running"; });
      if (t.status != rest) throw Error("zok ended: " + t.status);
      return true;
    }},
    {"won", "", [&] {
      for (const char *s : {"wait <continue>", "type x", "wait Congratulations, victory is yours!", "type x",
                            "exit 0", "modes normal screen, cursor visible"})
        step(t, sent, s);
      return true;
    }},
  };
  const auto found = std::find_if(steps.begin(), steps.end(), [&](auto &s) { return std::get<0>(s) == verb; });
  if (found == steps.end()) throw Error("unknown step");
  settled();
  if (!std::get<2>(*found)()) throw Error("usage: " + verb + " " + std::get<1>(*found));
}

class Cases : public testing::TestWithParam<fs::path> {};

TEST_P(Cases, PlayAsWritten) {
  std::ifstream in(GetParam(), std::ios::binary);
  std::string game, line;
  bool map = false;
  struct Launch {
    std::map<std::string, std::string> options;
    std::vector<std::pair<int, std::string>> steps;  // line number, step
  };
  std::vector<Launch> launches;
  for (int n = 1; std::getline(in, line); n++) {
    std::istringstream words(line.starts_with("@@ ") ? line.substr(3) : "");
    std::string kind, word;
    if (words >> kind) {
      map = kind == "map";
      if (kind == "game") words >> game;
      if (kind == "keys") launches.emplace_back();
      while (kind == "keys" && words >> word)
        launches.back().options[word.substr(0, word.find('='))] = word.substr(word.find('=') + 1);
    } else if (!map && !launches.empty() && !line.empty()) launches.back().steps.emplace_back(n, line);
  }
  ASSERT_FALSE(launches.empty()) << "no @@ keys";
  for (auto &launch : launches) {
    auto &opt = launch.options;
    char tmpl[] = "/tmp/zok-e2e-XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    const fs::path dir = tmpl, folder = dir / "game";
    if (game.empty()) fs::create_directory(folder);
    else fs::copy(fs::path(REPO_DIR) / game, folder, fs::copy_options::recursive);
    shell(runCase + " --unpack " + quoted(GetParam()) + " " + quoted(dir));
    const std::string size =
        opt.contains("size") ? opt["size"] : std::to_string(STANDARD_ROWS) + "x" + std::to_string(STANDARD_COLS);
    {
      Terminal t(dir, opt.contains("term") ? opt["term"] : "xterm-256color", std::stoi(size),
                 std::stoi(size.substr(size.find('x') + 1)), opt["sighup"] == "blocked");
      bool sent = true;
      for (const auto &[n, s] : launch.steps) {
        try {
          step(t, sent, s);
        } catch (const std::exception &e) {
          ADD_FAILURE_AT(GetParam().c_str(), n) << s << "\n" << e.what() << "\n" << t.dump();
          break;
        }
      }
    }
    fs::remove_all(dir);
  }
}

std::set<fs::path> caseFiles() {
  std::set<fs::path> files;
  for (const auto &entry : fs::directory_iterator(fs::path(REPO_DIR) / "tests/e2e/cases"))
    if (entry.path().extension() == ".case") files.insert(entry.path());
  return files;
}

INSTANTIATE_TEST_SUITE_P(E2e, Cases, testing::ValuesIn(caseFiles()), [](const auto &info) {
  std::string name = info.param.stem().string();
  std::replace_if(name.begin(), name.end(), [](unsigned char ch) { return !isalnum(ch); }, '_');
  return name;
});

}  // namespace
