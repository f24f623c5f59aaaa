// Win32 side of uOsLocale.h.
#include "Bibliothek/Plattform/uOsLocale.h"

#include <windows.h>

#include <string>

void OsUpperCaseBuffer(char* data, std::size_t length) {
  // CharUpperBuffA takes a DWORD count: go in slices for very long texts.
  while (length > 0) {
    const DWORD slice = length > 0x40000000u ? 0x40000000u : static_cast<DWORD>(length);
    CharUpperBuffA(data, slice);
    data += slice;
    length -= slice;
  }
}

TOsDateTime OsLocalDateTime() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

std::string OsShortDatePicture() {
  char buffer[128] = {};
  const int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, buffer, sizeof buffer);
  if (n <= 1) return "dd.MM.yyyy";
  return std::string(buffer, static_cast<std::size_t>(n - 1));
}
