// Win32 side of uOsWindow.h: a top-level window with a read-only multi-line
// EDIT and a default push button, laid out by anchors on WM_SIZE, shown by
// its own modal loop; catchers are zero-sized child windows of their own class.
#include "Bibliothek/Plattform/uOsWindow.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Bibliothek/Plattform/uOsConsole.h"

class TOsChild {
public:
  HWND Handle = nullptr;
  unsigned Message = 0;
  std::function<void()> OnMessage;
};

class TOsWindow {
public:
  TOsWindowLayout Layout;
  HWND Handle = nullptr, Edit = nullptr, Button = nullptr;
  HFONT Font = nullptr, EditFont = nullptr;
  WNDPROC EditProc = nullptr;
  std::string Caption, Text;
  std::vector<TOsChild*> Children;
  bool Closed = false;
};

namespace {
// user32 and gdi32 are loaded when the first window is made, not at every
// start: most runs draw nothing, and loading user32 alone costs a start under
// wine 30-50 ms. These are the calls this file makes of them.
struct TWindowCalls {
  decltype(&::AdjustWindowRectEx) AdjustWindowRectEx;
  decltype(&::CallWindowProcA) CallWindowProcA;
  decltype(&::CreateWindowExA) CreateWindowExA;
  decltype(&::DefWindowProcA) DefWindowProcA;
  decltype(&::DestroyWindow) DestroyWindow;
  decltype(&::DispatchMessageA) DispatchMessageA;
  decltype(&::GetClientRect) GetClientRect;
  decltype(&::GetMessageA) GetMessageA;
  decltype(&::GetParent) GetParent;
  decltype(&::GetSysColor) GetSysColor;
  decltype(&::GetSysColorBrush) GetSysColorBrush;
  decltype(&::GetWindowLongA) GetWindowLongA;
  decltype(&::IsDialogMessageA) IsDialogMessageA;
  decltype(&::LoadCursorA) LoadCursorA;
  decltype(&::LoadIconA) LoadIconA;
  decltype(&::MessageBoxA) MessageBoxA;
  decltype(&::MoveWindow) MoveWindow;
  decltype(&::PostMessageA) PostMessageA;
  decltype(&::PostQuitMessage) PostQuitMessage;
  decltype(&::RegisterClassA) RegisterClassA;
  decltype(&::SendMessageA) SendMessageA;
  decltype(&::SetFocus) SetFocus;
  decltype(&::SetWindowLongA) SetWindowLongA;
  decltype(&::SetWindowTextA) SetWindowTextA;
  decltype(&::ShowWindow) ShowWindow;
  decltype(&::TranslateMessage) TranslateMessage;
  decltype(&::UpdateWindow) UpdateWindow;
  decltype(&::CreateFontA) CreateFontA;
  decltype(&::DeleteObject) DeleteObject;
  decltype(&::SetBkColor) SetBkColor;
};

template <class TCall>
void bind(TCall& call, HMODULE dll, const char* name) {
  const FARPROC found = dll ? GetProcAddress(dll, name) : nullptr;
  if (!found) {
    std::fprintf(stderr, "%s is missing\n", name);
    std::abort();
  }
  call = reinterpret_cast<TCall>(reinterpret_cast<void (*)()>(found));
}

const TWindowCalls& Win() {
  static const TWindowCalls calls = [] {
    const HMODULE user = LoadLibraryA("user32.dll"), gdi = LoadLibraryA("gdi32.dll");
    TWindowCalls c;
    bind(c.AdjustWindowRectEx, user, "AdjustWindowRectEx");
    bind(c.CallWindowProcA, user, "CallWindowProcA");
    bind(c.CreateWindowExA, user, "CreateWindowExA");
    bind(c.DefWindowProcA, user, "DefWindowProcA");
    bind(c.DestroyWindow, user, "DestroyWindow");
    bind(c.DispatchMessageA, user, "DispatchMessageA");
    bind(c.GetClientRect, user, "GetClientRect");
    bind(c.GetMessageA, user, "GetMessageA");
    bind(c.GetParent, user, "GetParent");
    bind(c.GetSysColor, user, "GetSysColor");
    bind(c.GetSysColorBrush, user, "GetSysColorBrush");
    bind(c.GetWindowLongA, user, "GetWindowLongA");
    bind(c.IsDialogMessageA, user, "IsDialogMessageA");
    bind(c.LoadCursorA, user, "LoadCursorA");
    bind(c.LoadIconA, user, "LoadIconA");
    bind(c.MessageBoxA, user, "MessageBoxA");
    bind(c.MoveWindow, user, "MoveWindow");
    bind(c.PostMessageA, user, "PostMessageA");
    bind(c.PostQuitMessage, user, "PostQuitMessage");
    bind(c.RegisterClassA, user, "RegisterClassA");
    bind(c.SendMessageA, user, "SendMessageA");
    bind(c.SetFocus, user, "SetFocus");
    bind(c.SetWindowLongA, user, "SetWindowLongA");
    bind(c.SetWindowTextA, user, "SetWindowTextA");
    bind(c.ShowWindow, user, "ShowWindow");
    bind(c.TranslateMessage, user, "TranslateMessage");
    bind(c.UpdateWindow, user, "UpdateWindow");
    bind(c.CreateFontA, gdi, "CreateFontA");
    bind(c.DeleteObject, gdi, "DeleteObject");
    bind(c.SetBkColor, gdi, "SetBkColor");
    return c;
  }();
  return calls;
}

const char WindowClass[] = "TOsModalWindow";
const char CatcherClass[] = "TOsMessageCatcher";

// Places a control of the layout in a client area of the given size: anchored
// edges keep their distance to the client area's edges.
void PlaceControl(HWND control, const TOsRect& r, unsigned anchors, const TOsWindowLayout& layout, int width,
                  int height) {
  int left = r.Left, top = r.Top, w = r.Width, h = r.Height;
  const int right = layout.ClientWidth - (r.Left + r.Width), bottom = layout.ClientHeight - (r.Top + r.Height);
  if (anchors & akRight) {
    if (anchors & akLeft)
      w = width - left - right;
    else
      left = width - right - w;
  }
  if (anchors & akBottom) {
    if (anchors & akTop)
      h = height - top - bottom;
    else
      top = height - bottom - h;
  }
  Win().MoveWindow(control, left, top, w < 0 ? 0 : w, h < 0 ? 0 : h, TRUE);
}

// The read-only text box passes Enter, Esc and Tab on, so that OK stays the
// default button and Tab moves between the two controls.
LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* window = reinterpret_cast<TOsWindow*>(Win().GetWindowLongA(Win().GetParent(hwnd), GWLP_USERDATA));
  const LRESULT result = Win().CallWindowProcA(window->EditProc, hwnd, msg, wParam, lParam);
  if (msg == WM_GETDLGCODE) return result & ~(DLGC_WANTALLKEYS | DLGC_WANTTAB | DLGC_WANTMESSAGE);
  return result;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* window = reinterpret_cast<TOsWindow*>(Win().GetWindowLongA(hwnd, GWLP_USERDATA));
  if (!window) return Win().DefWindowProcA(hwnd, msg, wParam, lParam);
  switch (msg) {
    case WM_SIZE:
      if (window->Edit && window->Button) {
        const int width = LOWORD(lParam), height = HIWORD(lParam);
        PlaceControl(window->Edit, window->Layout.TextBox, window->Layout.TextBoxAnchors, window->Layout, width,
                     height);
        PlaceControl(window->Button, window->Layout.Button, window->Layout.ButtonAnchors, window->Layout, width,
                     height);
      }
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        window->Closed = true;
        return 0;
      }
      break;
    case WM_CLOSE:
      window->Closed = true;
      return 0;
    case WM_CTLCOLORSTATIC:
      // The read-only text box keeps a white page.
      if (reinterpret_cast<HWND>(lParam) == window->Edit) {
        Win().SetBkColor(reinterpret_cast<HDC>(wParam), Win().GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(Win().GetSysColorBrush(COLOR_WINDOW));
      }
      break;
  }
  return Win().DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK CatcherProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* child = reinterpret_cast<TOsChild*>(Win().GetWindowLongA(hwnd, GWLP_USERDATA));
  if (child && msg == child->Message) {
    // The callback may destroy the child: run a copy and touch nothing afterwards.
    const std::function<void()> onMessage = child->OnMessage;
    if (onMessage) onMessage();
    return 0;
  }
  return Win().DefWindowProcA(hwnd, msg, wParam, lParam);
}

void RegisterClasses() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSA wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = Win().LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hIcon = Win().LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = WindowClass;
  Win().RegisterClassA(&wc);
  WNDCLASSA cc{};
  cc.lpfnWndProc = CatcherProc;
  cc.hInstance = GetModuleHandleA(nullptr);
  cc.lpszClassName = CatcherClass;
  Win().RegisterClassA(&cc);
  registered = true;
}

HFONT MakeFont(const TOsFont& font) {
  return Win().CreateFontA(-font.Height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, font.Name.c_str());
}

/// Makes the native window and its two controls; false when there is no desktop.
bool MakeNativeWindow(TOsWindow* window) {
  RegisterClasses();
  const TOsWindowLayout& layout = window->Layout;
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  // The client area is what the controls were laid out in; the frame follows the system's metrics.
  RECT outer{0, 0, layout.ClientWidth, layout.ClientHeight};
  Win().AdjustWindowRectEx(&outer, style, FALSE, 0);
  window->Handle = Win().CreateWindowExA(0, WindowClass, window->Caption.c_str(), style, layout.Bounds.Left,
                                   layout.Bounds.Top, outer.right - outer.left, outer.bottom - outer.top, nullptr,
                                   nullptr, instance, nullptr);
  if (!window->Handle) return false;
  Win().SetWindowLongA(window->Handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
  window->Font = MakeFont(layout.Font);
  window->EditFont = MakeFont(layout.TextBoxFont);
  const TOsRect& t = layout.TextBox;
  window->Edit = Win().CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                                 WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                                     ES_AUTOVSCROLL,
                                 t.Left, t.Top, t.Width, t.Height, window->Handle, nullptr, instance, nullptr);
  const TOsRect& b = layout.Button;
  window->Button = Win().CreateWindowExA(0, "BUTTON", layout.ButtonCaption.c_str(),
                                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, b.Left, b.Top, b.Width,
                                   b.Height, window->Handle, reinterpret_cast<HMENU>(IDOK), instance, nullptr);
  window->EditProc = reinterpret_cast<WNDPROC>(
      Win().SetWindowLongA(window->Edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
  Win().SendMessageA(window->Handle, WM_SETFONT, reinterpret_cast<WPARAM>(window->Font), FALSE);
  Win().SendMessageA(window->Edit, WM_SETFONT, reinterpret_cast<WPARAM>(window->EditFont), FALSE);
  Win().SendMessageA(window->Button, WM_SETFONT, reinterpret_cast<WPARAM>(window->Font), FALSE);
  RECT client;
  Win().GetClientRect(window->Handle, &client);
  Win().SendMessageA(window->Handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
  return true;
}

// Without a desktop the overview goes to standard output, as on POSIX without a terminal.
void WriteToStandardOutput(const TOsWindow* window) {
  OsWriteConsoleLine(window->Caption);
  std::string line;
  for (char c : window->Text) {
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      OsWriteConsoleLine(line);
      line.clear();
    } else {
      line += c;
    }
  }
}
}  // namespace

TOsWindow* OsCreateWindow(const TOsWindowLayout& layout) {
  auto* window = new TOsWindow;
  window->Layout = layout;
  MakeNativeWindow(window);
  return window;
}

void OsDestroyWindow(TOsWindow* window) {
  if (!window) return;
  if (window->Handle) Win().DestroyWindow(window->Handle);
  for (TOsChild* child : window->Children) delete child;
  if (window->Font) Win().DeleteObject(window->Font);
  if (window->EditFont) Win().DeleteObject(window->EditFont);
  delete window;
}

void OsSetWindowCaption(TOsWindow* window, const std::string& caption) {
  window->Caption = caption;
  if (window->Handle) Win().SetWindowTextA(window->Handle, caption.c_str());
}

void OsClearLines(TOsWindow* window) {
  window->Text.clear();
  if (window->Edit) Win().SetWindowTextA(window->Edit, "");
}

void OsAppendLine(TOsWindow* window, const std::string& line) {
  window->Text += line + "\r\n";
  if (window->Edit) Win().SetWindowTextA(window->Edit, window->Text.c_str());
}

void OsShowModal(TOsWindow* window) {
  if (!window->Handle) {
    WriteToStandardOutput(window);
    return;
  }
  window->Closed = false;
  Win().ShowWindow(window->Handle, SW_SHOWNORMAL);
  Win().UpdateWindow(window->Handle);
  Win().SetFocus(window->Edit);
  MSG msg;
  while (!window->Closed) {
    const BOOL got = Win().GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      Win().PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got < 0) break;
    if (!Win().IsDialogMessageA(window->Handle, &msg)) {
      Win().TranslateMessage(&msg);
      Win().DispatchMessageA(&msg);
    }
  }
  Win().ShowWindow(window->Handle, SW_HIDE);
}

void OsCloseWindow(TOsWindow* window) { window->Closed = true; }

TOsHandle OsWindowHandle(TOsWindow* window) { return reinterpret_cast<TOsHandle>(window->Handle); }

TOsChild* OsCreateCatcher(TOsWindow* parent, unsigned message, std::function<void()> onMessage) {
  auto* child = new TOsChild;
  child->Message = message;
  child->OnMessage = std::move(onMessage);
  if (parent->Handle) {
    child->Handle = Win().CreateWindowExA(0, CatcherClass, "", WS_CHILD, 0, 0, 0, 0, parent->Handle, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
    if (child->Handle) Win().SetWindowLongA(child->Handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(child));
  }
  parent->Children.push_back(child);
  return child;
}

void OsRemoveChild(TOsWindow* parent, TOsChild* child) {
  if (!child) return;
  for (auto it = parent->Children.begin(); it != parent->Children.end(); ++it)
    if (*it == child) {
      parent->Children.erase(it);
      break;
    }
  if (child->Handle) {
    Win().SetWindowLongA(child->Handle, GWLP_USERDATA, 0);
    Win().DestroyWindow(child->Handle);
  }
  delete child;
}

TOsHandle OsChildHandle(TOsChild* child) { return reinterpret_cast<TOsHandle>(child->Handle); }

bool OsPostMessage(TOsHandle handle, unsigned message) {
  // A null handle would queue a thread message that no window receives.
  if (handle == 0) return false;
  return Win().PostMessageA(reinterpret_cast<HWND>(handle), message, 0, 0) != FALSE;
}

void OsShowErrorBox(const std::string& title, const std::string& message) {
  // Without a desktop a message box may return at once as if acknowledged, and
  // the message would be lost: a window that cannot be made tells.
  const HWND probe = Win().CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
  if (probe) {
    Win().DestroyWindow(probe);
    if (Win().MessageBoxA(nullptr, message.c_str(), title.c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL) != 0) return;
  }
  std::fprintf(stderr, "%s: %s\n", title.c_str(), message.c_str());
  std::fflush(stderr);
}
