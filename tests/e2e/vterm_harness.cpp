#include "vterm_harness.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utmp.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>

extern char **environ;

namespace e2e {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

[[noreturn]] void fail(const std::string &what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

std::string utf8(uint32_t cp) {
  if (cp < 0x80) return std::string(1, static_cast<char>(cp));
  const int extra = cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
  std::string out(1, static_cast<char>(((0xFF00 >> (extra + 1)) & 0xFF) | (cp >> (6 * extra))));
  for (int k = extra - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((cp >> (6 * k)) & 0x3F));
  return out;
}

int colour(const VTermColor &c, bool fg) {
  if (fg ? VTERM_COLOR_IS_DEFAULT_FG(&c) : VTERM_COLOR_IS_DEFAULT_BG(&c)) return kDefaultColour;
  return VTERM_COLOR_IS_INDEXED(&c) ? c.indexed.idx : kRgbColour;
}

// Polls until `done` holds or the deadline passes, pumping in slices.
bool until(Clock::time_point deadline, const std::function<bool()> &done,
           const std::function<void(Millis)> &pump) {
  while (!done()) {
    auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now());
    if (left <= 0ms) return false;
    pump(std::min(left, 50ms));
  }
  return true;
}

}  // namespace

Terminal::Terminal(const Launch &launch) : rows_(launch.rows), cols_(launch.cols) {
  char tmpl[] = "/tmp/zok-e2e-XXXXXX";
  if (!mkdtemp(tmpl)) fail("mkdtemp");
  dir_ = tmpl;
  const fs::path game = fs::path(dir_) / "game";
  fs::create_directory(game);
  for (const auto &[name, content] : launch.maps)
    if (!(std::ofstream(game / (name + ".zok"), std::ios::binary) << content)) fail("map " + name);
  for (const auto &name : launch.mapDirs) fs::create_directory(game / (name + ".zok"));
  for (const auto &name : launch.unreadableMaps) {
    std::ofstream(game / (name + ".zok")) << "\n";
    fs::permissions(game / (name + ".zok"), fs::perms::none);
  }

  vt_ = vterm_new(rows_, cols_);
  vterm_set_utf8(vt_, 1);
  vterm_output_set_callback(vt_, &Terminal::onOutput, this);
  vscreen_ = vterm_obtain_screen(vt_);
  vterm_screen_enable_altscreen(vscreen_, 1);
  callbacks_.settermprop = &Terminal::onTermProp;
  vterm_screen_set_callbacks(vscreen_, &callbacks_, this);
  vterm_screen_reset(vscreen_, 1);

  // Everything the child needs is prepared before the fork.
  std::string program = ZOK_BINARY;
  char *argv[] = {program.data(), nullptr};
  std::vector<std::string> env;
  for (char **e = environ; *e; ++e) {
    std::string_view name(*e, std::strcspn(*e, "="));
    if (name != "TERM" && name != "LANG" && !name.starts_with("LC_") && name != "LINES" &&
        name != "COLUMNS" && name != "TERMCAP")
      env.emplace_back(*e);
  }
  env.insert(env.end(), {"TERM=" + launch.term, "LANG=C.UTF-8", "LC_ALL=C.UTF-8"});
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
    if (login_tty(slave_) < 0 || chdir(dir_.c_str()) < 0) _exit(126);
    for (int sig : {SIGHUP, SIGINT, SIGTERM, SIGPIPE, SIGQUIT, SIGWINCH, SIGTSTP}) signal(sig, SIG_DFL);
    sigset_t mask;
    sigemptyset(&mask);
    if (launch.blockHangup) sigaddset(&mask, SIGHUP);
    sigprocmask(SIG_SETMASK, &mask, nullptr);
    execve(argv[0], argv, envp.data());
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
  std::error_code ec;  // give back taken permissions so everything goes
  for (auto &p : fs::recursive_directory_iterator(dir_, ec))
    fs::permissions(p.path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(dir_, ec);
}

// The emulator's key encodings go to the program.
void Terminal::onOutput(const char *s, size_t len, void *user) {
  static_cast<Terminal *>(user)->sendRaw(std::string_view(s, len));
}

int Terminal::onTermProp(VTermProp prop, VTermValue *val, void *user) {
  auto *t = static_cast<Terminal *>(user);
  if (prop == VTERM_PROP_ALTSCREEN) t->altScreen_ = val->boolean;
  if (prop == VTERM_PROP_CURSORVISIBLE) t->cursorVisible_ = val->boolean;
  if (prop == VTERM_PROP_TITLE) t->title_ = val->string ? val->string : "";
  return 1;
}

void Terminal::sendRaw(std::string_view bytes) {
  const auto deadline = Clock::now() + kWait;
  while (!bytes.empty() && master_ >= 0) {
    ssize_t n = write(master_, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
    } else if (n < 0 && errno == EAGAIN && Clock::now() < deadline) {
      pump(10ms);  // the program is not reading: drain its output meanwhile
    } else if (!(n < 0 && errno == EINTR)) {
      return;  // hung up, or the program stopped reading for good
    }
  }
}

void Terminal::type(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i++]);
    const int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    uint32_t cp = extra ? b & (0x3F >> extra) : b;
    for (int k = 0; k < extra && i < s.size(); ++k) cp = cp << 6 | (static_cast<unsigned char>(s[i++]) & 0x3F);
    vterm_keyboard_unichar(vt_, cp, VTERM_MOD_NONE);
  }
}

size_t Terminal::pump(Millis wait) {
  struct pollfd p{master_, POLLIN, 0};  // with the master closed, just waits
  if (poll(&p, master_ < 0 ? 0 : 1, static_cast<int>(wait.count())) <= 0) return 0;
  size_t total = 0;
  char buf[4096];
  for (;;) {
    ssize_t n = read(master_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // EAGAIN: drained; EIO or 0: the other side is gone
    vterm_input_write(vt_, buf, static_cast<size_t>(n));
    total += static_cast<size_t>(n);
  }
  vterm_screen_flush_damage(vscreen_);
  return total;
}

void Terminal::drain() {
  while (pump(0ms) > 0) {
  }
}

bool Terminal::reap(bool block) {
  if (reaped_ || pid_ <= 0) return reaped_;
  int status = 0;
  pid_t r;
  do r = waitpid(pid_, &status, block ? 0 : WNOHANG);
  while (r < 0 && errno == EINTR);
  if (r != pid_) return false;
  reaped_ = true;
  exit_ = WIFEXITED(status) ? "exit " + std::to_string(WEXITSTATUS(status))
                            : "signal " + std::to_string(WTERMSIG(status));
  return true;
}

bool Terminal::waitForText(std::string_view text, Millis timeout) {
  // Once the program has ended nothing more can come: read what is left.
  return until(Clock::now() + timeout, [&] { return showing(text) || reap(false); },
               [&](Millis m) { pump(m); }) &&
         (drain(), showing(text));
}

bool Terminal::settle(Millis timeout) {
  int quiet = 0;
  return until(Clock::now() + timeout, [&] { return quiet >= 4 || reap(false); }, [&](Millis) {
    bool blocked = false;
    int pending = 0;
    if (pump(40ms) == 0 && ioctl(slave_, FIONREAD, &pending) == 0 && pending == 0) {
      std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
      std::string line;
      std::getline(stat, line);
      const auto paren = line.rfind(')');  // the state letter follows ") "
      blocked = paren != std::string::npos && paren + 2 < line.size() &&
                (line[paren + 2] == 'S' || line[paren + 2] == 'Z');
    }
    quiet = blocked ? quiet + 1 : 0;
  }) && (drain(), true);
}

std::string Terminal::waitExit(Millis timeout) {
  until(Clock::now() + timeout, [&] { return reap(false); }, [&](Millis m) { pump(std::min(m, 20ms)); });
  drain();
  return exit_;
}

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
  if (pid_ > 0 && !reap(false)) kill(pid_, sig);
}

Cell Terminal::cell(int r, int c) const {
  VTermScreenCell vc{};
  if (r < 0 || c < 0 || r >= rows_ || c >= cols_) return {" ", kDefaultColour, kDefaultColour};
  vterm_screen_get_cell(vscreen_, VTermPos{r, c}, &vc);
  Cell out{"", colour(vc.fg, true), colour(vc.bg, false)};
  for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && vc.chars[i] != 0; ++i)
    if (vc.chars[i] != static_cast<uint32_t>(-1)) out.text += utf8(vc.chars[i]);
  if (out.text.empty()) out.text = " ";
  return out;
}

std::string Terminal::textAt(int r, int c, int n) const {
  std::string s;
  for (int i = std::max(c, 0); i < c + n && i < cols_; ++i) s += cell(r, i).text;
  return s;
}

std::string Terminal::row(int r) const {
  std::string s = textAt(r, 0, cols_);
  return s.substr(0, s.find_last_not_of(' ') + 1);
}

int Terminal::findInRow(int r, std::string_view text) const {
  std::string s;
  std::vector<size_t> starts;  // byte offset of each cell in s
  for (int c = 0; c < cols_; ++c) {
    starts.push_back(s.size());
    s += cell(r, c).text;
  }
  for (size_t at = s.find(text); at != std::string::npos; at = s.find(text, at + 1))
    for (size_t c = 0; c < starts.size(); ++c)
      if (starts[c] == at) return static_cast<int>(c);
  return -1;
}

bool Terminal::showing(std::string_view text) const {
  for (int r = 0; r < rows_; ++r)
    if (row(r).find(text) != std::string::npos) return true;
  return false;
}

std::string Terminal::screen() const {
  std::string s = "screen " + std::to_string(rows_) + "x" + std::to_string(cols_) + ":\n";
  for (int r = 0; r < rows_; ++r) s += (r < 10 ? " " : "") + std::to_string(r) + "|" + row(r) + "\n";
  return s;
}

}  // namespace e2e
