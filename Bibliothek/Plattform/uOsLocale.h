#pragma once
// Regional settings: the character set of the program's text, upper-casing of
// single-byte text, the local date and time, and the regional short date
// format as a Windows date picture (dd.MM.yyyy, M/d/yyyy ...).
#include <cstddef>
#include <string>

#include "Bibliothek/Textformate/uCharset.h"

/// The character set of the locale taken at start-up. POSIX: LC_CTYPE's, but
/// UTF-8 where that is plain ASCII (the C locale of cron and containers), so
/// that text beyond ASCII is not lost. Win32: the ANSI code page.
const TCharset& OsLocaleCharset();

/// Upper-cases `length` bytes in place by the user locale's single-byte mapping
/// (a TUpperCaseBuffer, which the settings file texts are given).
/// Win32: CharUpperBuffA. POSIX: toupper in the locale taken at start-up.
void OsUpperCaseBuffer(char* data, std::size_t length);

struct TOsDateTime {
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};

/// The current local date and time. Win32: GetLocalTime. POSIX: localtime_r.
TOsDateTime OsLocalDateTime();

/// The short date format as a Windows picture. Win32: GetLocaleInfoA
/// (LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE). POSIX: LC_TIME's D_FMT turned into
/// a picture (%d->dd, %e->d, %m->MM, %Y->yyyy, %y->yy); yyyy-MM-dd when LC_TIME
/// is the C/POSIX locale, which has no regional format. The user's own setting
/// in the registry comes first; ShortDatePicture (uDateRoutines.h) asks it.
std::string OsShortDatePicture();
