#include "app/uQuilletRegisterSwitches.h"

#include "Bibliothek/Plattform/uOsConsole.h"
#include "Bibliothek/Schalter/uProgramSwitch.h"
#include "Bibliothek/uDateRoutines.h"
#include "Bibliothek/uFailure.h"
#include "app/uQuilletConstants.h"

bool StartupQuilletRegisterSwitches() {
  using namespace uQuilletConstants;
  try {
    // Today's date as the default, in the format the user reads and writes dates.
    const std::string dateDefault = ".eq" + FormatShortDate(Today(), ShortDatePicture());
    ProgramSwitch->Register(SDateSwitch, SDateOptionHint, dateDefault, SDateDescription);
    ProgramSwitch->Register(SPersonSwitch, "KRV, TEW", SPersonDefault, SPersonDescription);
    ProgramSwitch->Register(SAuthorSwitch, "KRV; TEW", SAuthorDefault, SAuthorDescription);
    ProgramSwitch->Register(SInputSwitch, "c:\\log\\log.txt", SInputDefault, SInputDescription);
    ProgramSwitch->Register(SOutputSwitch, "c:\\log\\out.txt", SOutputDefault, SOutputDescription);
    return true;
  } catch (const EFailure& failure) {
    OsWriteConsoleLine(failure.Message());
    return false;
  }
}

void ShutdownQuilletRegisterSwitches() {}
