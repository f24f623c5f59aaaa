// Program entry: starts the modules in their fixed order, runs the filter once,
// and shuts the modules down in reverse order.
//
// Exit codes: 0 after a successful run, the switch overview or an export;
// 1 whenever a failure line was written or an export failed, so scripts and
// schedulers can tell.
#include "Bibliothek/Plattform/uOsConsole.h"
#include "Bibliothek/Plattform/uOsProcess.h"
#include "Bibliothek/Schalter/fProgramSwitchHelp.h"
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

namespace {

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
  //    They end it through the normal shut-down below.
  if (const auto endCode = RunStartupSwitches()) {
    if (*endCode != 0) exitCode = *endCode;
  } else {
    // 6., 7. The engine module needs no start-up; the main block runs the filter.
    if (!RunFilter()) exitCode = 1;
  }

  ShutdownQuilletRegisterSwitches();
  ShutdownProgramSwitch();
  ShutdownLibraryModules();
  return exitCode;
}
