// POSIX side of uOsWindow.h. Posted messages wait in a queue of this layer
// and are delivered by the modal loop, in order, before it waits for keys.
// On a terminal the window is a full-screen ncurses dialog; elsewhere its
// caption and text go to standard output and the error box to standard error.
#include "Bibliothek/Plattform/uOsWindow.h"

#include <curses.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Bibliothek/Plattform/uOsConsole.h"
#include "Bibliothek/Plattform/uOsConsolePosix.h"

class TOsChild {
public:
  TOsHandle Handle = 0;
  unsigned Message = 0;
  std::function<void()> OnMessage;
};

class TOsWindow {
public:
  TOsHandle Handle = 0;
  std::string Caption;
  std::vector<std::string> Lines;  // as appended; a line may hold CR LF
  std::vector<TOsChild*> Children;
  bool Closed = false;
};

namespace {
// Native handles: windows and catchers share one numbering; a handle that is
// gone receives nothing.
TOsHandle lastHandle = 0;
std::map<TOsHandle, TOsChild*> catchers;
std::map<TOsHandle, TOsWindow*> windows;
std::deque<std::pair<TOsHandle, unsigned>> queue;

/// Delivers the queued messages in order until the queue is empty or the window closes.
void DeliverPosted(const TOsWindow* window) {
  while (!queue.empty() && !window->Closed) {
    const auto [handle, message] = queue.front();
    queue.pop_front();
    const auto it = catchers.find(handle);
    // A window's default handling ignores the messages it gets.
    if (it == catchers.end() || it->second->Message != message) continue;
    // The callback may remove the catcher: run a copy and touch nothing afterwards.
    const std::function<void()> onMessage = it->second->OnMessage;
    if (onMessage) onMessage();
  }
}

bool OnTerminal() { return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO); }

// --- the terminal ------------------------------------------------------------------

// The terminal is given back however the program ends: by the dialog's own
// end, or by a signal that ends the program while the dialog is up.
volatile std::sig_atomic_t cursesActive = 0;

void RestoreAndReraise(int signal) {
  if (cursesActive) endwin();
  cursesActive = 0;
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

class TCursesSession {
public:
  TCursesSession() {
    // The wide ncurses draws the frame and the text in the locale's encoding.
    std::setlocale(LC_CTYPE, "");
    // newterm, unlike initscr, does not end the program on a terminal type it does not know.
    FScreen = newterm(nullptr, stdout, stdin);
    if (!FScreen) return;
    cursesActive = 1;
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) FOld.emplace_back(s, std::signal(s, RestoreAndReraise));
    cbreak();
    noecho();
    keypad(stdscr, TRUE);
    set_escdelay(25);
    curs_set(0);
  }
  ~TCursesSession() {
    if (!FScreen) return;
    endwin();
    cursesActive = 0;
    for (const auto& [s, handler] : FOld) std::signal(s, handler);
    delscreen(FScreen);
  }
  /// False when the terminal could not be set up.
  bool Ok() const { return FScreen != nullptr; }
  TCursesSession(const TCursesSession&) = delete;
  TCursesSession& operator=(const TCursesSession&) = delete;

private:
  SCREEN* FScreen = nullptr;
  std::vector<std::pair<int, void (*)(int)>> FOld;
};

/// Characters of a UTF-8 text, one string each.
std::vector<std::string> Characters(const std::string& utf8) {
  std::vector<std::string> chars;
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t n = 1;
    while (i + n < utf8.size() && (static_cast<unsigned char>(utf8[i + n]) & 0xC0) == 0x80) ++n;
    chars.push_back(utf8.substr(i, n));
    i += n;
  }
  return chars;
}

/// The text's lines (CR LF, LF or CR end a line) wrapped at `width`
/// characters, at the last blank when there is one.
std::vector<std::string> WrapLines(const std::vector<std::string>& texts, int width) {
  std::vector<std::string> out;
  const std::size_t w = static_cast<std::size_t>(std::max(width, 1));
  for (const std::string& text : texts) {
    std::string line;
    std::vector<std::string> logical;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r' || text[i] == '\n') {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        logical.push_back(line);
        line.clear();
      } else {
        line += text[i];
      }
    }
    logical.push_back(line);
    for (const std::string& one : logical) {
      std::vector<std::string> chars = Characters(OsTerminalText(one));
      do {
        std::size_t take = std::min(w, chars.size());
        bool atBlank = false;
        if (take < chars.size()) {
          std::size_t blank = take;
          while (blank > 0 && chars[blank] != " ") --blank;
          if (blank > 0) take = blank, atBlank = true;
        }
        std::string piece;
        for (std::size_t k = 0; k < take; ++k) piece += chars[k];
        out.push_back(piece);
        // The blank at which the line breaks is not carried to the next one.
        chars.erase(chars.begin(), chars.begin() + static_cast<std::ptrdiff_t>(take + (atBlank ? 1 : 0)));
      } while (!chars.empty());
    }
  }
  return out;
}

bool IsCloseKey(int key) { return key == '\n' || key == '\r' || key == KEY_ENTER || key == 27 || key == 'q'; }

void DrawFrame(WINDOW* win, const std::string& title) {
  box(win, 0, 0);
  mvwaddstr(win, 0, 2, (" " + OsTerminalText(title) + " ").c_str());
}

/// The full-screen dialog: frame with the caption, the wrapped text, [ OK ].
/// False when the terminal could not be used.
bool RunDialog(TOsWindow* window) {
  TCursesSession session;
  if (!session.Ok()) return false;
  int top = 0;
  while (!window->Closed) {
    const int width = COLS - 4, height = std::max(LINES - 4, 1);
    const std::vector<std::string> lines = WrapLines(window->Lines, width);
    const int last = std::max(0, static_cast<int>(lines.size()) - height);
    top = std::clamp(top, 0, last);
    erase();
    DrawFrame(stdscr, window->Caption);
    for (int row = 0; row < height && top + row < static_cast<int>(lines.size()); ++row)
      mvaddstr(1 + row, 2, lines[static_cast<std::size_t>(top + row)].c_str());
    const std::string where = " " + std::to_string(lines.empty() ? 0 : top + 1) + "-" +
                              std::to_string(std::min(top + height, static_cast<int>(lines.size()))) + " / " +
                              std::to_string(lines.size()) + " ";
    mvaddstr(LINES - 2, 2, where.c_str());
    attron(A_REVERSE);
    mvaddstr(LINES - 2, std::max(COLS - 9, 0), "[ OK ]");
    attroff(A_REVERSE);
    refresh();
    const int key = getch();
    if (IsCloseKey(key)) break;
    switch (key) {
      case KEY_UP: --top; break;
      case KEY_DOWN: ++top; break;
      case KEY_PPAGE: top -= height; break;
      case KEY_NPAGE: top += height; break;
      case KEY_HOME: top = 0; break;
      case KEY_END: top = last; break;
      default: break;  // KEY_RESIZE and others: lay out again
    }
    DeliverPosted(window);
  }
  return true;
}

/// A small box in the middle of the screen, titled `title`, with the message and [ OK ].
bool RunErrorBox(const std::string& title, const std::string& message) {
  TCursesSession session;
  if (!session.Ok()) return false;
  for (;;) {
    const int width = std::clamp(COLS - 4, 1, 60);
    const std::vector<std::string> lines = WrapLines({message}, width - 4);
    const int height = std::min(static_cast<int>(lines.size()) + 4, LINES);
    WINDOW* box = newwin(height, width, std::max((LINES - height) / 2, 0), std::max((COLS - width) / 2, 0));
    erase();
    refresh();
    DrawFrame(box, title);
    for (int row = 0; row < height - 4; ++row) mvwaddstr(box, 1 + row, 2, lines[static_cast<std::size_t>(row)].c_str());
    wattron(box, A_REVERSE);
    mvwaddstr(box, height - 2, std::max((width - 6) / 2, 0), "[ OK ]");
    wattroff(box, A_REVERSE);
    wrefresh(box);
    keypad(box, TRUE);
    const int key = wgetch(box);
    delwin(box);
    if (IsCloseKey(key)) return true;
  }
}
}  // namespace

// --- windows -----------------------------------------------------------------------

TOsWindow* OsCreateWindow(const TOsWindowLayout& /*layout*/) {
  // A terminal has no pixels: the dialog fills the screen and follows its size.
  auto* window = new TOsWindow;
  window->Handle = ++lastHandle;
  windows[window->Handle] = window;
  return window;
}

void OsDestroyWindow(TOsWindow* window) {
  if (!window) return;
  for (TOsChild* child : window->Children) {
    catchers.erase(child->Handle);
    delete child;
  }
  windows.erase(window->Handle);
  delete window;
}

void OsSetWindowCaption(TOsWindow* window, const std::string& caption) { window->Caption = caption; }
void OsClearLines(TOsWindow* window) { window->Lines.clear(); }
void OsAppendLine(TOsWindow* window, const std::string& line) { window->Lines.push_back(line); }

void OsShowModal(TOsWindow* window) {
  window->Closed = false;
  DeliverPosted(window);
  if (window->Closed) return;
  // Without a terminal: so that `quillet /? | less` and `quillet /? > switches.txt` work.
  if (!OnTerminal() || !RunDialog(window)) {
    // A line holding CR LF shows as several lines; a pipe gets each one with LF alone.
    OsWriteConsoleLine(window->Caption);
    for (const std::string& line : window->Lines)
      for (std::size_t start = 0;;) {
        const std::size_t stop = line.find("\r\n", start);
        OsWriteConsoleLine(line.substr(start, stop == std::string::npos ? std::string::npos : stop - start));
        if (stop == std::string::npos) break;
        start = stop + 2;
      }
  }
  window->Closed = true;
}

void OsCloseWindow(TOsWindow* window) { window->Closed = true; }

TOsHandle OsWindowHandle(TOsWindow* window) { return window->Handle; }

TOsChild* OsCreateCatcher(TOsWindow* parent, unsigned message, std::function<void()> onMessage) {
  auto* child = new TOsChild;
  child->Handle = ++lastHandle;
  child->Message = message;
  child->OnMessage = std::move(onMessage);
  catchers[child->Handle] = child;
  parent->Children.push_back(child);
  return child;
}

void OsRemoveChild(TOsWindow* parent, TOsChild* child) {
  if (!child) return;
  parent->Children.erase(std::remove(parent->Children.begin(), parent->Children.end(), child),
                         parent->Children.end());
  catchers.erase(child->Handle);
  delete child;
}

TOsHandle OsChildHandle(TOsChild* child) { return child->Handle; }

bool OsPostMessage(TOsHandle handle, unsigned message) {
  if (!catchers.count(handle) && !windows.count(handle)) return false;
  queue.emplace_back(handle, message);
  return true;
}

void OsShowErrorBox(const std::string& title, const std::string& message) {
  if (OnTerminal() && RunErrorBox(title, message)) return;
  const std::string line = OsTerminalText(title + ": " + message) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}
