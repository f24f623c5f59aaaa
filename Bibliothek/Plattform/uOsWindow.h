#pragma once
// Modal windows.
#include <string>

/// A modal error message box with the error icon, `title`, `message` and one OK
/// button; returns when it is closed. POSIX: "title: message" on standard error.
void OsShowErrorBox(const std::string& title, const std::string& message);
