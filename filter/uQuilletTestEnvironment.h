#pragma once
// The engine's environment for tests: the English texts, the day of the run
// as the header shows it, and the platform's upper-case mapping.
#include <string>

#include "Bibliothek/Plattform/uOsLocale.h"
#include "filter/uEngineEnvironment.h"

inline TQuilletEnvironment TestEnvironment(const std::string& today = "14.05.2003") {
  TQuilletEnvironment environment;
  environment.DateLabel = "DATE";
  environment.AuthorLabel = "AUTHOR";
  environment.PersonHeader = "User: ";
  environment.DateHeader = "Datum: ";
  environment.Today = today;
  environment.InputMissing = "The file for reading the comments has to be declared! (Use switch INPUT)";
  environment.OutputMissing = "The file for storing the CVS comments has to be declared! (Use switch OUTPUT)";
  environment.PersonMissing = "The person has to be declared! (Use switch PERSON)";
  environment.DateMissing = "The date has to be declared! (Use switch DATE)";
  environment.LogCutShort = "The file %s ends inside a file section: the log is cut short!";
  environment.LockStillHeld = "The lock file %s is still held after %s seconds: the output stays as it was!";
  environment.LockStillHeldBy = "The lock file %s is still held by %s after %s seconds: the output stays as it was!";
  environment.OutputChanged = "The output %s was changed while the run waited for its lock: nothing was written!";
  for (std::size_t i = 0; i < environment.UpperCase.size(); ++i)
    environment.UpperCase[i] = static_cast<unsigned char>(i);
  OsUpperCaseBuffer(reinterpret_cast<char*>(environment.UpperCase.data()), environment.UpperCase.size());
  return environment;
}
