// Program entry: starts the modules in their fixed order, runs the filter once,
// and shuts the modules down in reverse order.
//
// Exit codes: 0 after a successful run (or the start-up check's early end),
// 1 whenever a failure line was written, so scripts and schedulers can tell.
#include "Bibliothek/Plattform/uOsConsole.h"
#include "Bibliothek/Plattform/uOsProcess.h"
#include "Bibliothek/Schalter/uProgramSwitch.h"
#include "Bibliothek/Schalter/uProgramSwitchConstant.h"
#include "Bibliothek/uFailure.h"
#include "Bibliothek/uFileRoutines.h"
#include "Bibliothek/uSingleton.h"
#include "Bibliothek/uStringRoutines.h"
#include "app/uQuilletConstants.h"
#include "app/uQuilletEnglishConstants.h"
#include "app/uQuilletRegisterSwitches.h"
#include "app/uRunFilter.h"

#include <cstdlib>
#include <exception>
#include <new>

namespace {

// The start-up check of /?, WRITEINI and WRITEREG comes with the switch
// overview; until then nothing asks to end the program before the filter runs.
bool RunStartupSwitches() { return false; }

// A failure of another kind than EFailure (memory running out while the
// settings are read, say) still ends the run with one line and exit code 1.
// Nothing was replaced yet: the report is written only at the very end.
[[noreturn]] void TerminateWithOneLine() {
  const char* line = "Unerwarteter Fehler";
  try {
    if (const std::exception_ptr current = std::current_exception()) std::rethrow_exception(current);
  } catch (const std::bad_alloc&) {
    line = "Zu wenig Arbeitsspeicher";
  } catch (const std::exception& failure) {
    if (*failure.what()) line = failure.what();
  } catch (...) {
  }
  OsWriteConsoleLine(line);
  std::_Exit(1);
}

void ShutdownLibraryModules() {
  ShutdownFileRoutines();
  ShutdownSingleton();
  ShutdownStringRoutines();
  ShutdownQuilletEnglishConstants();
  uQuilletConstants::ShutdownQuilletConstants();
  ShutdownProgramSwitchConstant();
}

}  // namespace

int main(int argc, char** argv) {
  std::set_terminate(TerminateWithOneLine);
  OsStartupProcess(argc, argv);

  // 1. Texts: initial wording, then the English wording in force.
  StartupProgramSwitchConstant();
  uQuilletConstants::StartupQuilletConstants();
  StartupQuilletEnglishConstants();
  // 2. Support routines and the singleton base.
  StartupStringRoutines();
  StartupSingleton();
  StartupFileRoutines();
  // 3. The switch library. A failure while its registry is created (a
  //    registry value of the wrong type) ends the program here.
  try {
    StartupProgramSwitch();
  } catch (const EFailure& failure) {
    OsWriteConsoleLine(failure.Message());
    ShutdownLibraryModules();
    return 1;
  }
  // 4. The filter's switches.
  int exitCode = StartupQuilletRegisterSwitches() ? 0 : 1;
  // 5. /?, WRITEINI, WRITEREG end the program before the filter runs.
  if (!RunStartupSwitches()) {
    // 6., 7. The engine module needs no start-up; the main block runs the filter.
    if (!RunFilter()) exitCode = 1;
  }

  ShutdownQuilletRegisterSwitches();
  ShutdownProgramSwitch();
  ShutdownLibraryModules();
  return exitCode;
}
