// End-to-end cases: every file in e2e/cases runs the real zok on a
// pseudo-terminal read by a libvterm emulator and plays it as a player
// would, checking the screen on the way.
//
//   # what the case shows (any lines before the first section)
//   @@ map NAME          game/NAME.zok, up to the next section; \r, \t, \0,
//                        \xHH and \\ stand for their bytes, \c ends it there
//   @@ game DIR          the repository's folder DIR as game/
//   @@ keys [OPTION...]  one run of zok in a fresh folder holding those maps,
//                        its steps one a line. Options: size=RxC (24x80),
//                        term=NAME (xterm-256color), dir=MAP (game/MAP.zok a
//                        folder), unreadable=MAP, sighup=blocked
//
// Before each step zok is let act on all it was sent: the runner waits until
// it sits in a key read with no input pending and has written nothing for a
// moment, or has ended. Input fails once zok has ended; checks wait until
// they hold and fail after a while, showing the screen.
//   type TEXT           the bytes a keyboard sends, escapes as in maps
//   key NAME [N]        enter, up, down, left or backspace, N times
//   answers A,B,...     from the title screen: a key, then answers as zokc
//   replay FILE         play --record writes them, one a line: the name, then
//                       per prompt "" for a key (a blank) or n for option n
//                       of a menu (Down n - 1 times, Enter); FILE is relative
//                       to the repository
//   resize R C          signal HUP          close (hangs the terminal up)
//   wait TEXT           TEXT shows within a row     absent TEXT   it does not
//   row R TEXT          row R reads TEXT, trailing blanks dropped
//   highlight [R C TEXT]  the cells not in plain colours are all colour 0
//                       on colour 2 and read TEXT from (R, C) on; without
//                       TEXT there are none
//   modes TEXT          "alternate|normal screen, cursor visible|hidden[, title T]"
//   exit STATUS         zok ends with STATUS: 0, 1, signal 1, signal 2
//   won                 the .win prompt, a key, the victory message, a key:
//                       zok ends with status 0 and the terminal restored
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <utmp.h>
#include <vterm.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using Error = std::runtime_error;
constexpr auto kWait = std::chrono::seconds(15);  // generous: sanitizers on two busy cores

// zok on a pty in `dir`, its output fed to the emulator. Every wait polls
// the pty until its condition holds or kWait runs out; nothing sleeps for a
// fixed time. The destructor kills and reaps a zok still running.
class Terminal {
 public:
  Terminal(const fs::path &dir, const std::string &term, int rows, int cols, bool blockHangup)
      : vt_(vterm_new(rows, cols)), screen_(vterm_obtain_screen(vt_)), rows_(rows), cols_(cols) {
    vterm_set_utf8(vt_, 1);
    vterm_output_set_callback(vt_, [](const char *s, size_t n, void *t) { static_cast<Terminal *>(t)->send({s, n}); },
                              this);
    vterm_screen_enable_altscreen(screen_, 1);
    callbacks_.settermprop = [](VTermProp prop, VTermValue *val, void *user) {
      auto *t = static_cast<Terminal *>(user);
      if (prop == VTERM_PROP_ALTSCREEN) t->altScreen_ = val->boolean;
      if (prop == VTERM_PROP_CURSORVISIBLE) t->cursorVisible_ = val->boolean;
      if (prop == VTERM_PROP_TITLE) t->title_ = val->string ? val->string : "";
      return 1;
    };
    vterm_screen_set_callbacks(screen_, &callbacks_, this);
    vterm_screen_reset(screen_, 1);
    winsize ws{static_cast<unsigned short>(rows), static_cast<unsigned short>(cols), 0, 0};
    if (openpty(&master_, &slave_, nullptr, nullptr, &ws) < 0 || (pid_ = fork()) < 0) throw Error("no pty");
    if (pid_ == 0) {
      sigset_t mask;
      sigemptyset(&mask);
      if (blockHangup) sigaddset(&mask, SIGHUP);  // a hang-up then shows only as failing reads
      for (int sig : {SIGHUP, SIGINT, SIGTERM, SIGPIPE, SIGWINCH}) ::signal(sig, SIG_DFL);
      setenv("TERM", term.c_str(), 1), setenv("LANG", "C.UTF-8", 1), setenv("LC_ALL", "C.UTF-8", 1);
      unsetenv("LINES"), unsetenv("COLUMNS"), close(master_);
      if (sigprocmask(SIG_SETMASK, &mask, nullptr) == 0 && login_tty(slave_) == 0 && chdir(dir.c_str()) == 0)
        execl(ZOK_BINARY, ZOK_BINARY, nullptr);
      _exit(127);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);  // the slave stays open to see pending input
  }
  ~Terminal() {
    if (!ended()) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
    if (master_ >= 0) close(master_);
    close(slave_), vterm_free(vt_);
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
      if (pump(40) == 0 && ioctl(slave_, FIONREAD, &pending) == 0 && pending == 0)
        std::getline(std::ifstream("/proc/" + std::to_string(pid_) + "/stat"), stat);
      const auto state = stat.rfind(") ");  // the state letter follows
      quiet = state != std::string::npos && stat[state + 2] == 'S' ? quiet + 1 : 0;
      return quiet >= 4 || ended();
    });
  }
  bool ended() {  // reaps zok once it has ended and reads what it wrote last
    int st;
    if (status == "running" && waitpid(pid_, &st, WNOHANG) == pid_) {
      status = WIFEXITED(st) ? std::to_string(WEXITSTATUS(st)) : "signal " + std::to_string(WTERMSIG(st));
      while (pump(0) > 0) {
      }
    }
    return status != "running";
  }

  void send(std::string_view bytes) {
    for (int tries = 0; !bytes.empty() && master_ >= 0 && tries < 1000; ++tries)
      if (ssize_t n = write(master_, bytes.data(), bytes.size()); n > 0) bytes.remove_prefix(n);
      else pump(10);  // zok is not reading: take its output meanwhile
  }
  void key(VTermKey k) { vterm_keyboard_key(vt_, k, VTERM_MOD_NONE); }  // encoded for zok's keypad mode
  void resize(int rows, int cols) {  // zok gets SIGWINCH
    vterm_set_size(vt_, rows_ = rows, cols_ = cols);
    winsize ws{static_cast<unsigned short>(rows), static_cast<unsigned short>(cols), 0, 0};
    ioctl(master_, TIOCSWINSZ, &ws);
  }
  void hangUp() { close(master_), master_ = -1; }
  void signal(int sig) { kill(pid_, sig); }

  std::string row(int r) const {  // trailing blanks removed
    std::string s;
    for (int c = 0; c < cols_; ++c) s += cell(r, c).first;
    return s.erase(s.find_last_not_of(' ') + 1);
  }
  bool showing(std::string_view text) const {
    for (int r = 0; r < rows_; ++r)
      if (row(r).find(text) != std::string::npos) return true;
    return false;
  }
  // Where the first cell not in plain colours (the terminal's defaults or
  // curses' own, 7 on 0) is and what all of them read, if all are 0 on 2.
  std::string highlight() const {
    std::string at, s;
    for (int r = 0; r < rows_; ++r)
      for (int c = 0; c < cols_; ++c)
        if (auto [text, colours] = cell(r, c); colours != "-1 on -1" && colours != "7 on 0") {
          if (colours != "0 on 2") return "colour " + colours + " at " + std::to_string(r) + " " + std::to_string(c);
          if (at.empty()) at = std::to_string(r) + " " + std::to_string(c) + " ";
          s += text;
        }
    return at.empty() ? "none" : at + s.erase(s.find_last_not_of(' ') + 1);
  }
  std::string modes() const {
    return (altScreen_ ? "alternate" : "normal") + std::string(" screen, cursor ") +
           (cursorVisible_ ? "visible" : "hidden") + (title_.empty() ? "" : ", title " + title_);
  }
  std::string dump() const {
    std::string s = std::to_string(rows_) + "x" + std::to_string(cols_) + ", " + modes() + ", zok " + status + ":\n";
    for (int r = 0; r < rows_; ++r) s += (r < 10 ? " " : "") + std::to_string(r) + "|" + row(r) + "\n";
    return s;
  }

  std::string status = "running";  // or the exit status, or "signal N"

 private:
  // A cell's text (a blank " ", the right half of a wide character "") and
  // colours "FG on BG" by palette index (-1 the default, -2 RGB).
  std::pair<std::string, std::string> cell(int r, int c) const {
    VTermScreenCell vc{};
    vterm_screen_get_cell(screen_, VTermPos{r, c}, &vc);
    std::string text = vc.chars[0] ? "" : " ";
    for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && vc.chars[i] && vc.chars[0] != uint32_t(-1); ++i) {
      const uint32_t cp = vc.chars[i];
      const int extra = cp < 0x80 ? 0 : cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
      text += static_cast<char>((extra ? (0xFF00 >> (extra + 1)) & 0xFF : 0) | (cp >> (6 * extra)));
      for (int k = extra - 1; k >= 0; --k) text += static_cast<char>(0x80 | ((cp >> (6 * k)) & 0x3F));
    }
    const auto index = [](const VTermColor &c, bool dflt) {
      return std::to_string(dflt ? -1 : VTERM_COLOR_IS_INDEXED(&c) ? c.indexed.idx : -2);
    };
    return {text,
            index(vc.fg, VTERM_COLOR_IS_DEFAULT_FG(&vc.fg)) + " on " + index(vc.bg, VTERM_COLOR_IS_DEFAULT_BG(&vc.bg))};
  }
  size_t pump(int ms) {  // waits up to `ms` for output and feeds all there is to the emulator
    pollfd p{master_, POLLIN, 0};  // with the master closed, just waits
    if (poll(&p, master_ < 0 ? 0 : 1, ms) <= 0) return 0;
    size_t total = 0;
    char buf[4096];
    for (ssize_t n; (n = read(master_, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR);)
      if (n > 0) vterm_input_write(vt_, buf, n), total += n;  // to EAGAIN, or EIO once hung up
    vterm_screen_flush_damage(screen_);
    return total;
  }

  VTerm *vt_;
  VTermScreen *screen_;
  VTermScreenCallbacks callbacks_{};
  int master_ = -1, slave_ = -1, rows_, cols_;
  pid_t pid_ = -1;
  bool altScreen_ = false, cursorVisible_ = true;
  std::string title_;
};

std::string unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); i++) {
    const char c = text[i] == '\\' && i + 1 < text.size() ? text[++i] : 0;
    if (c == 'c') break;
    if (c == 'x') out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)), i += 2;
    else out += !c ? text[i] : c == 'r' ? '\r' : c == 't' ? '\t' : c == '0' ? '\0' : c;
  }
  return out;
}

struct Case {
  std::map<std::string, std::string> maps;
  std::string game;
  struct Launch {
    std::map<std::string, std::string> options;
    std::vector<std::pair<int, std::string>> steps;  // line number, step
  };
  std::vector<Launch> launches;
};

Case readCase(const fs::path &file) {
  std::ifstream in(file, std::ios::binary);
  Case c;
  std::string line, *map = nullptr;
  for (int n = 1; std::getline(in, line); n++) {
    std::istringstream words(line.starts_with("@@ ") ? line.substr(3) : "");
    std::string kind, word;
    if (words >> kind) {
      map = kind == "map" && words >> word ? &c.maps[word] : nullptr;
      if (kind == "game") words >> c.game;
      if (kind == "keys") c.launches.emplace_back();
      while (kind == "keys" && words >> word)
        c.launches.back().options[word.substr(0, word.find('='))] = word.substr(word.find('=') + 1);
    } else if (map) {
      *map += line + "\n";
    } else if (!c.launches.empty() && !line.empty()) {
      c.launches.back().steps.emplace_back(n, line);
    }
  }
  for (auto &[name, text] : c.maps) text = unescape(text);
  return c;
}

// Plays the steps of one launch; a failing step throws.
class Player {
 public:
  explicit Player(Terminal &t) : t_(t) {}

  void step(const std::string &line) {
    const auto blank = line.find(' ');
    const std::string verb = line.substr(0, blank), rest = blank == line.npos ? "" : line.substr(blank + 1);
    const std::string text = rest.substr(std::min(rest.find(' '), rest.size() - 1) + 1);  // after a row's number
    int r = 0, c = 0;
    std::istringstream(rest) >> r >> c;
    if (settled(); verb == "type") input(), t_.send(unescape(rest));
    else if (verb == "key") key(rest);
    else if (verb == "answers") answers(std::istringstream(rest + ","), ',');
    else if (verb == "replay") answers(std::ifstream(fs::path(REPO_DIR) / rest), '\n');
    else if (verb == "resize") input(), t_.resize(r, c);
    else if (verb == "signal" && rest == "HUP") input(), t_.signal(SIGHUP);
    else if (verb == "close") input(), t_.hangUp();
    else if (verb == "wait") expect([&] { return t_.showing(rest); }, [] { return "never showed"; });
    else if (verb == "absent") expect([&] { return !t_.showing(rest); }, [] { return "shows"; });
    else if (verb == "row") expect([&] { return t_.row(r) == text; }, [&] { return "reads \"" + t_.row(r) + "\""; });
    else if (verb == "highlight") expect([&] { return t_.highlight() == (rest.empty() ? "none" : rest); },
                                         [&] { return t_.highlight(); });
    else if (verb == "modes") expect([&] { return t_.modes() == rest; }, [&] { return t_.modes(); });
    else if (verb == "exit") expect([&] { return t_.ended(); }, [] { return "zok is running"; }), exited(rest);
    else if (verb == "won") won();
    else throw Error("unknown step");
  }

 private:
  void settled() {
    if (dirty_ && !t_.settle()) throw Error("zok never came to wait for a key");
    dirty_ = false;
  }
  void input() {
    if (t_.ended()) throw Error("zok has ended: " + t_.status);
    dirty_ = true;
  }
  void expect(const std::function<bool()> &holds, const std::function<std::string()> &why) {
    if (!t_.until(holds)) throw Error(why());
  }
  void exited(const std::string &want) {
    if (t_.status != want) throw Error("zok ended: " + t_.status);
  }
  void key(const std::string &spec) {
    static const std::map<std::string, VTermKey> keys = {{"enter", VTERM_KEY_ENTER}, {"up", VTERM_KEY_UP},
        {"down", VTERM_KEY_DOWN}, {"left", VTERM_KEY_LEFT}, {"backspace", VTERM_KEY_BACKSPACE}};
    std::istringstream in(spec);
    std::string name;
    int times = 1;
    if (!(in >> name) || !keys.contains(name)) throw Error("unknown key");
    input();
    for (in >> times; times-- > 0;) t_.key(keys.at(name));
  }
  void answers(std::istream &&in, char sep) {
    input(), t_.send(" ");  // leaves the title screen
    std::string a;
    for (bool name = true; std::getline(in, a, sep); name = false) {
      settled(), input();
      if (name) t_.send(a);
      else if (a.empty()) t_.send(" ");
      else for (int i = std::stoi(a); i > 1; --i) t_.key(VTERM_KEY_DOWN);
      if (name || !a.empty()) t_.key(VTERM_KEY_ENTER);
    }
  }
  void won() {
    for (const char *s : {"wait <continue>", "type x", "wait Congratulations, victory is yours!", "type x", "exit 0",
                          "modes normal screen, cursor visible"})
      step(s);
  }

  Terminal &t_;
  bool dirty_ = true;
};

class Cases : public testing::TestWithParam<fs::path> {};

TEST_P(Cases, PlayAsWritten) {
  const Case c = readCase(GetParam());
  ASSERT_FALSE(c.launches.empty()) << "no @@ keys";
  for (const auto &launch : c.launches) {
    auto opt = [&](const std::string &k, const std::string &d = "") {
      return launch.options.contains(k) ? launch.options.at(k) : d;
    };
    if (!opt("unreadable").empty() && geteuid() == 0) continue;  // root reads any file
    char tmpl[] = "/tmp/zok-e2e-XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    const fs::path dir = tmpl, game = dir / "game";
    if (c.game.empty()) fs::create_directory(game);
    else fs::copy(fs::path(REPO_DIR) / c.game, game, fs::copy_options::recursive);
    for (const auto &[name, text] : c.maps) std::ofstream(game / (name + ".zok"), std::ios::binary) << text;
    if (const fs::path folder = game / (opt("dir") + ".zok"); !opt("dir").empty())
      fs::remove(folder), fs::create_directory(folder);
    if (!opt("unreadable").empty()) fs::permissions(game / (opt("unreadable") + ".zok"), fs::perms::none);
    const std::string size = opt("size", "24x80");
    {
      Terminal t(dir, opt("term", "xterm-256color"), std::stoi(size), std::stoi(size.substr(size.find('x') + 1)),
                 opt("sighup") == "blocked");
      Player player(t);
      for (const auto &[line, step] : launch.steps) {
        try {
          player.step(step);
        } catch (const std::exception &e) {
          ADD_FAILURE_AT(GetParam().c_str(), line) << step << "\n" << e.what() << "\n" << t.dump();
          break;
        }
      }
    }
    fs::remove_all(dir);
  }
}

std::vector<fs::path> caseFiles() {
  std::vector<fs::path> files;
  for (const auto &entry : fs::directory_iterator(fs::path(REPO_DIR) / "tests/e2e/cases"))
    if (entry.path().extension() == ".case") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

INSTANTIATE_TEST_SUITE_P(E2e, Cases, testing::ValuesIn(caseFiles()), [](const auto &info) {
  std::string name = info.param.stem().string();
  for (char &ch : name)
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
});

}  // namespace
