// Win32 side of uOsWindow.h.
#include "Bibliothek/Plattform/uOsWindow.h"

#include <windows.h>

#include <string>

void OsShowErrorBox(const std::string& title, const std::string& message) {
  MessageBoxA(nullptr, message.c_str(), title.c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
}
