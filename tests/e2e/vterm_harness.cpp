#include "vterm_harness.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utmp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

extern char **environ;

namespace e2e {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

[[noreturn]] void fail(const std::string &what) {
  throw std::system_error(errno, std::generic_category(), what);
}

void appendUtf8(std::string &out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes UTF-8 into code points; a stray byte stands for itself.
std::vector<uint32_t> decodeUtf8(std::string_view s) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < s.size();) {
    auto b = static_cast<unsigned char>(s[i]);
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    if (extra == 0 || i + extra >= s.size()) {
      out.push_back(b);
      ++i;
      continue;
    }
    uint32_t cp = b & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    out.push_back(cp);
    i += extra + 1;
  }
  return out;
}

Colour toColour(const VTermColor &c, bool foreground) {
  if (foreground ? VTERM_COLOR_IS_DEFAULT_FG(&c) : VTERM_COLOR_IS_DEFAULT_BG(&c))
    return Colour::byDefault();
  if (VTERM_COLOR_IS_INDEXED(&c)) return Colour::palette(c.indexed.idx);
  return Colour{false, false, -1};  // direct RGB
}

Millis remaining(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now());
  return left.count() > 0 ? left : Millis(0);
}

}  // namespace

std::ostream &operator<<(std::ostream &os, const Exit &e) {
  switch (e.kind) {
    case Exit::StillRunning: return os << "still running";
    case Exit::Exited: return os << "exit status " << e.value;
    case Exit::Signalled:
      return os << "killed by signal " << e.value << " (" << strsignal(e.value) << ")";
  }
  return os;
}

std::ostream &operator<<(std::ostream &os, const Colour &c) {
  if (c.isDefault) return os << "default";
  if (c.indexed) return os << "index " << c.index;
  return os << "rgb";
}

// ---------------------------------------------------------------------------

Terminal::Terminal(const Launch &launch) : rows_(launch.rows), cols_(launch.cols) {
  char tmpl[] = "/tmp/zok-e2e-XXXXXX";
  if (!mkdtemp(tmpl)) fail("mkdtemp");
  dir_ = tmpl;
  makeGameDir(launch);

  vt_ = vterm_new(rows_, cols_);
  vterm_set_utf8(vt_, 1);
  vterm_output_set_callback(vt_, &Terminal::onOutput, this);
  vscreen_ = vterm_obtain_screen(vt_);
  vterm_screen_enable_altscreen(vscreen_, 1);
  callbacks_.settermprop = &Terminal::onTermProp;
  vterm_screen_set_callbacks(vscreen_, &callbacks_, this);
  vterm_screen_reset(vscreen_, 1);

  // Everything the child needs is prepared before the fork.
  std::vector<std::string> args = launch.argv;
  if (args.empty()) args.push_back(ZOK_BINARY);
  std::vector<char *> argv;
  for (auto &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> env;
  for (char **e = environ; *e; ++e) {
    std::string_view kv(*e);
    auto name = kv.substr(0, kv.find('='));
    if (name == "TERM" || name == "LANG" || name.starts_with("LC_") || name == "LINES" ||
        name == "COLUMNS" || name == "TERMCAP")
      continue;
    env.emplace_back(kv);
  }
  env.push_back("TERM=" + launch.term);
  env.push_back("LANG=" + launch.locale);
  env.push_back("LC_ALL=" + launch.locale);
  std::vector<char *> envp;
  for (auto &e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  struct winsize ws{};
  ws.ws_row = static_cast<unsigned short>(rows_);
  ws.ws_col = static_cast<unsigned short>(cols_);
  if (openpty(&master_, &slave_, nullptr, nullptr, &ws) < 0) fail("openpty");
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(slave_, F_SETFD, FD_CLOEXEC);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);

  pid_ = fork();
  if (pid_ < 0) fail("fork");
  if (pid_ == 0) {
    close(master_);
    if (login_tty(slave_) < 0) _exit(126);
    if (chdir(dir_.c_str()) < 0) _exit(126);
    for (int sig : {SIGHUP, SIGINT, SIGTERM, SIGPIPE, SIGQUIT, SIGWINCH, SIGTSTP})
      signal(sig, SIG_DFL);
    sigset_t mask;
    sigemptyset(&mask);
    if (launch.blockHangup) sigaddset(&mask, SIGHUP);
    sigprocmask(SIG_SETMASK, &mask, nullptr);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
}

Terminal::~Terminal() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    reap(true);
  }
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
  if (vt_) vterm_free(vt_);
  std::error_code ec;
  if (!dir_.empty()) {
    // Give back permissions taken away so everything can be removed.
    for (auto &p : fs::recursive_directory_iterator(dir_, ec))
      fs::permissions(p.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
}

void Terminal::makeGameDir(const Launch &launch) {
  fs::path game = fs::path(dir_) / "game";
  fs::create_directory(game);
  for (const auto &[name, content] : launch.maps) {
    std::ofstream f(game / (name + ".zok"), std::ios::binary);
    f.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!f) fail("writing map " + name);
  }
  for (const auto &name : launch.mapDirs) fs::create_directory(game / (name + ".zok"));
  for (const auto &name : launch.unreadableMaps) {
    fs::path p = game / (name + ".zok");
    std::ofstream(p).put('\n');
    fs::permissions(p, fs::perms::none);
  }
}

// --- emulator callbacks ------------------------------------------------------

void Terminal::onOutput(const char *s, size_t len, void *user) {
  static_cast<Terminal *>(user)->writeMaster(s, len);
}

int Terminal::onTermProp(VTermProp prop, VTermValue *val, void *user) {
  auto *t = static_cast<Terminal *>(user);
  switch (prop) {
    case VTERM_PROP_ALTSCREEN: t->altScreen_ = val->boolean; break;
    case VTERM_PROP_CURSORVISIBLE: t->cursorVisible_ = val->boolean; break;
    case VTERM_PROP_TITLE:
      t->title_ = val->string ? val->string : "";
      break;
    default: break;
  }
  return 1;
}

// --- pty traffic -------------------------------------------------------------

void Terminal::writeMaster(const char *s, size_t len) {
  auto deadline = Clock::now() + kWait;
  while (len > 0 && master_ >= 0) {
    ssize_t n = write(master_, s, len);
    if (n > 0) {
      s += n;
      len -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN && Clock::now() < deadline) {
      // The program is not reading; keep draining its output meanwhile.
      pump(Millis(10));
      continue;
    }
    return;  // hung up, or the program stopped reading for good
  }
}

size_t Terminal::pump(Millis wait) {
  if (master_ < 0) return 0;
  struct pollfd p{master_, POLLIN, 0};
  int r = poll(&p, 1, static_cast<int>(wait.count()));
  if (r <= 0) return 0;
  size_t total = 0;
  char buf[4096];
  for (;;) {
    ssize_t n = read(master_, buf, sizeof buf);
    if (n > 0) {
      transcript_.append(buf, static_cast<size_t>(n));
      vterm_input_write(vt_, buf, static_cast<size_t>(n));
      total += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    break;  // EAGAIN: drained; EIO or 0: the other side is gone
  }
  vterm_screen_flush_damage(vscreen_);
  return total;
}

void Terminal::key(VTermKey k, VTermModifier mod) { vterm_keyboard_key(vt_, k, mod); }

void Terminal::type(std::string_view utf8) {
  for (uint32_t cp : decodeUtf8(utf8)) vterm_keyboard_unichar(vt_, cp, VTERM_MOD_NONE);
}

void Terminal::sendRaw(std::string_view bytes) { writeMaster(bytes.data(), bytes.size()); }

// --- waiting -----------------------------------------------------------------

bool Terminal::waitUntil(const std::function<bool()> &pred, Millis timeout) {
  auto deadline = Clock::now() + timeout;
  for (;;) {
    if (pred()) return true;
    if (Clock::now() >= deadline) return false;
    if (master_ < 0 || (reaped_ || reap(false))) {
      // Nothing more can arrive once the child is gone; read what is left.
      while (pump(Millis(0)) > 0) {
      }
      return pred();
    }
    pump(std::min(remaining(deadline), Millis(50)));
  }
}

bool Terminal::waitForText(std::string_view text, Millis timeout) {
  return waitUntil([&] { return showing(text); }, timeout);
}

bool Terminal::waitForTextGone(std::string_view text, Millis timeout) {
  return waitUntil([&] { return !showing(text); }, timeout);
}

bool Terminal::settle(Millis timeout) {
  auto deadline = Clock::now() + timeout;
  int quiet = 0;
  while (Clock::now() < deadline) {
    if (reaped_ || reap(false)) {
      while (pump(Millis(0)) > 0) {
      }
      return true;
    }
    size_t got = pump(Millis(40));
    bool blocked = false;
    int pending = 0;
    if (got == 0 && ioctl(slave_, FIONREAD, &pending) == 0 && pending == 0) {
      std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
      std::string line;
      std::getline(stat, line);
      auto close = line.rfind(')');
      blocked = close != std::string::npos && close + 2 < line.size() &&
                (line[close + 2] == 'S' || line[close + 2] == 'Z');
    }
    quiet = blocked ? quiet + 1 : 0;
    if (quiet >= 4) return true;
  }
  return false;
}

bool Terminal::reap(bool block) {
  if (reaped_ || pid_ <= 0) return reaped_;
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r != pid_) return false;
  reaped_ = true;
  if (WIFEXITED(status)) exit_ = Exit::code(WEXITSTATUS(status));
  else if (WIFSIGNALED(status)) exit_ = Exit::signal(WTERMSIG(status));
  return true;
}

Exit Terminal::waitExit(Millis timeout) {
  auto deadline = Clock::now() + timeout;
  while (!reap(false)) {
    if (Clock::now() >= deadline) return Exit{};
    if (master_ >= 0) {
      pump(std::min(remaining(deadline), Millis(20)));
    } else {
      struct pollfd none{-1, 0, 0};
      poll(&none, 0, 20);
    }
  }
  while (pump(Millis(0)) > 0) {
  }
  return exit_;
}

// --- process and pty ---------------------------------------------------------

void Terminal::resize(int rows, int cols) {
  rows_ = rows;
  cols_ = cols;
  vterm_set_size(vt_, rows, cols);
  struct winsize ws{};
  ws.ws_row = static_cast<unsigned short>(rows);
  ws.ws_col = static_cast<unsigned short>(cols);
  if (master_ >= 0) ioctl(master_, TIOCSWINSZ, &ws);
}

void Terminal::closeMaster() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

void Terminal::sendSignal(int sig) {
  if (pid_ > 0 && !reaped_) kill(pid_, sig);
}

// --- screen ------------------------------------------------------------------

Cell Terminal::cell(int r, int c) const {
  Cell out;
  VTermScreenCell vc{};
  if (r < 0 || c < 0 || r >= rows_ || c >= cols_) return out;
  vterm_screen_get_cell(vscreen_, VTermPos{r, c}, &vc);
  for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && vc.chars[i] != 0; ++i)
    if (vc.chars[i] != static_cast<uint32_t>(-1)) appendUtf8(out.text, vc.chars[i]);
  out.fg = toColour(vc.fg, true);
  out.bg = toColour(vc.bg, false);
  out.reverse = vc.attrs.reverse;
  out.bold = vc.attrs.bold;
  return out;
}

std::vector<std::string> Terminal::rowCells(int r) const {
  std::vector<std::string> cells;
  for (int c = 0; c < cols_; ++c) {
    std::string t = cell(r, c).text;
    cells.push_back(t.empty() ? " " : t);
  }
  return cells;
}

std::string Terminal::row(int r) const {
  std::string s;
  for (auto &c : rowCells(r)) s += c;
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string Terminal::textAt(int r, int c, int n) const {
  std::string s;
  auto cells = rowCells(r);
  for (int i = c; i < c + n && i < static_cast<int>(cells.size()); ++i)
    if (i >= 0) s += cells[static_cast<size_t>(i)];
  return s;
}

int Terminal::findInRow(int r, std::string_view text) const {
  auto cells = rowCells(r);
  for (size_t start = 0; start < cells.size(); ++start) {
    std::string s;
    for (size_t i = start; i < cells.size() && s.size() < text.size(); ++i) s += cells[i];
    if (s.starts_with(text)) return static_cast<int>(start);
  }
  return -1;
}

int Terminal::findRow(std::string_view text) const {
  for (int r = 0; r < rows_; ++r)
    if (row(r).find(text) != std::string::npos) return r;
  return -1;
}

std::string Terminal::screen() const {
  std::ostringstream os;
  os << "screen " << rows_ << "x" << cols_ << ":\n";
  for (int r = 0; r < rows_; ++r) {
    char num[16];
    std::snprintf(num, sizeof num, "%2d", r);
    os << num << "|" << row(r) << "\n";
  }
  return os.str();
}

}  // namespace e2e
