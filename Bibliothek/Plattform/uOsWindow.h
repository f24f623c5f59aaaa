#pragma once
// Modal windows: the one window kind the switch overview needs (a caption, a
// read-only multi-line text box and an OK button), zero-sized child controls
// that receive posted messages, and the error message box.
//
// Win32: a real window with its own modal message loop; posted messages are
// delivered by that loop in the order posted. When no window can be made (no
// desktop, as in a service), showing writes the caption and the text to
// standard output, as the POSIX side does when it has no terminal.
// POSIX: a message queue of this layer. Showing a window first delivers the
// queued messages in order; then, when standard input and output are a
// terminal, a full-screen ncurses dialog, else the caption line and the text
// on standard output.
#include <cstdint>
#include <functional>
#include <string>

/// Positions and sizes in pixels, relative to the parent (the screen for a window).
struct TOsRect {
  int Left = 0, Top = 0, Width = 0, Height = 0;
};

/// Edges a control keeps its distance to when the window is resized.
enum TOsAnchor : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

struct TOsFont {
  std::string Name;
  int Height = 0;  // character height in pixels
};

struct TOsWindowLayout {
  TOsRect Bounds;                  // outer size and screen position
  int ClientWidth = 0, ClientHeight = 0;  // the client area the controls are laid out in
  TOsFont Font;
  TOsRect TextBox;
  unsigned TextBoxAnchors = akLeft | akTop;
  TOsFont TextBoxFont;
  TOsRect Button;
  unsigned ButtonAnchors = akLeft | akTop;
  std::string ButtonCaption;
};

class TOsWindow;  // a window with its text box, its button and its child controls
class TOsChild;   // a zero-sized child control that receives one posted message
using TOsHandle = std::uintptr_t;  // a native window handle; 0 is none

/// Builds a hidden window from the layout, with no owner.
TOsWindow* OsCreateWindow(const TOsWindowLayout& layout);
/// Destroys the window with its child controls (catchers that still exist included).
void OsDestroyWindow(TOsWindow* window);
void OsSetWindowCaption(TOsWindow* window, const std::string& caption);
void OsClearLines(TOsWindow* window);
/// Appends a line to the text box; CR LF inside the line starts new lines.
void OsAppendLine(TOsWindow* window, const std::string& line);
/// Shows the window modally; returns when it was closed (OK, Esc, close box, OsCloseWindow).
void OsShowModal(TOsWindow* window);
/// Ends the modal loop of the window as its OK button does.
void OsCloseWindow(TOsWindow* window);
/// The window's native handle, made on demand.
TOsHandle OsWindowHandle(TOsWindow* window);

/// Makes a zero-sized child control of `parent` that calls `onMessage` when
/// `message` arrives; every other message gets the default handling. The
/// callback may remove the child (OsRemoveChild): nothing of it is touched afterwards.
TOsChild* OsCreateCatcher(TOsWindow* parent, unsigned message, std::function<void()> onMessage);
/// Takes the child out of its window and destroys it.
void OsRemoveChild(TOsWindow* parent, TOsChild* child);
/// The child's native handle; made on demand together with its parent's.
TOsHandle OsChildHandle(TOsChild* child);

/// Queues `message` (both parameters 0) for the native window `handle` of this thread.
/// False when it cannot be queued.
bool OsPostMessage(TOsHandle handle, unsigned message);

/// A modal error message box with the error icon, `title`, `message` and one OK
/// button; returns when it is closed. Without a terminal or a desktop:
/// "title: message" on standard error.
void OsShowErrorBox(const std::string& title, const std::string& message);
