#pragma once
// Regional settings: upper-casing of single-byte text, the local date and time,
// and the user's short date format as a Windows date picture (dd.MM.yyyy, M/d/yyyy ...).
#include <cstddef>
#include <string>

/// Upper-cases `length` bytes in place by the user locale's single-byte mapping.
/// Win32: CharUpperBuffA. POSIX: toupper in the locale taken at start-up.
void OsUpperCaseBuffer(char* data, std::size_t length);

struct TOsDateTime {
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};

/// The current local date and time. Win32: GetLocalTime. POSIX: localtime_r.
TOsDateTime OsLocalDateTime();

/// The user's short date format as a Windows picture. Win32: GetLocaleInfoA
/// (LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE). POSIX: sShortDate of the key
/// Control Panel\International in the current user's registry file when set,
/// else LC_TIME's D_FMT turned into a picture (%d->dd, %e->d, %m->MM, %Y->yyyy, %y->yy);
/// yyyy-MM-dd when LC_TIME is the C/POSIX locale, which has no regional format.
std::string OsShortDatePicture();
