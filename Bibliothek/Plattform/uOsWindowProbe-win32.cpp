// Test tool for the Windows switch overview: finds a top-level window by its
// caption once it is shown (waiting up to 30 s), then
//   window_probe read CAPTION FILE   writes its text box's text to FILE and
//                                    prints where its two controls are
//   window_probe click CAPTION       posts a click to its OK button
// Exit code 0 when it did so, 2 when the window did not appear.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {
void PrintPlace(const char* name, HWND parent, HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  std::printf("%s %ld %ld %ld %ld\n", name, r.left, r.top, r.right - r.left, r.bottom - r.top);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 1;
  const std::string mode = argv[1];
  HWND window = nullptr;
  // The window is filled before it is shown: a visible one holds its whole text.
  for (int i = 0; i < 300; ++i, Sleep(100)) {
    window = FindWindowA(nullptr, argv[2]);
    if (window && IsWindowVisible(window)) break;
    window = nullptr;
  }
  if (!window) {
    std::fprintf(stderr, "window_probe: no window \"%s\"\n", argv[2]);
    return 2;
  }
  HWND edit = FindWindowExA(window, nullptr, "EDIT", nullptr);
  HWND ok = FindWindowExA(window, nullptr, "BUTTON", nullptr);
  if (mode == "click") return PostMessageA(ok, BM_CLICK, 0, 0) ? 0 : 1;
  if (mode != "read" || argc < 4) return 1;
  // Asked by message: GetWindowText of another process's window does not ask the control.
  const int length = static_cast<int>(SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0));
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  SendMessageA(edit, WM_GETTEXT, static_cast<WPARAM>(text.size()), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  FILE* out = std::fopen(argv[3], "wb");
  if (!out) return 1;
  std::fwrite(text.data(), 1, text.size(), out);
  std::fclose(out);
  RECT client;
  GetClientRect(window, &client);
  std::printf("client %ld %ld\n", client.right, client.bottom);
  PrintPlace("edit", window, edit);
  PrintPlace("button", window, ok);
  const LONG style = GetWindowLongA(edit, GWL_STYLE);
  std::printf("edit style multiline=%d readonly=%d vscroll=%d hscroll=%d\n", (style & ES_MULTILINE) != 0,
              (style & ES_READONLY) != 0, (style & WS_VSCROLL) != 0, (style & WS_HSCROLL) != 0);
  return 0;
}
