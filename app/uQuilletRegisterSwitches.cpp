#include "app/uQuilletRegisterSwitches.h"

#include "Bibliothek/Plattform/uOsConsole.h"
#include "Bibliothek/Schalter/uProgramSwitch.h"
#include "Bibliothek/uDateRoutines.h"
#include "Bibliothek/uFailure.h"
#include "app/uQuilletConstants.h"
#include "filter/uQuillet.h"

std::string DateSwitchDefault() {
  std::string date = FormatShortDate(Today(), ShortDatePicture());
  // A "/" cuts a value in the INI file and on the command line, so a default
  // exported to an INI file could never be read back; the date reading takes
  // "-" in its place.
  for (char& c : date)
    if (c == '/') c = '-';
  return ".eq" + date;
}

bool StartupQuilletRegisterSwitches() {
  using namespace uQuilletConstants;
  try {
    ProgramSwitch->Register(SDateSwitch, SDateOptionHint, DateSwitchDefault(), SDateDescription);
    // An exported file is read on later days too: there the default is today, whenever that is.
    ProgramSwitch->SetExportValue(SDateSwitch, ".eq-0");
    ProgramSwitch->Register(SPersonSwitch, "KRV, TEW", SPersonDefault, SPersonDescription);
    ProgramSwitch->Register(SAuthorSwitch, "KRV; TEW", SAuthorDefault, SAuthorDescription);
    // "-" is a pipe's end: standard input, or standard output for the report alone.
    ProgramSwitch->Register(SInputSwitch, "c:\\log\\log.txt, - (standard input)", SInputDefault, SInputDescription);
    ProgramSwitch->Register(SOutputSwitch, "c:\\log\\out.txt, - (standard output, the report alone)", SOutputDefault,
                            SOutputDescription);
    // Empty: the tree starts behind "/cvsroot/".
    ProgramSwitch->Register(SRootSwitch, SRootOptionHint, "", SRootDescription);
    ProgramSwitch->Register(SLockWaitSwitch, SLockWaitHint, std::to_string(TQuillet::DefaultLockWait),
                            SLockWaitDescription);
    return true;
  } catch (const EFailure& failure) {
    OsWriteConsoleLine(failure.Message());
    return false;
  }
}

void ShutdownQuilletRegisterSwitches() {}
