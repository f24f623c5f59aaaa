#include "app/uQuilletEnglishConstants.h"

#include "Bibliothek/Schalter/uProgramSwitchConstant.h"
#include "app/uQuilletConstants.h"

void StartupQuilletEnglishConstants() {
  using namespace uQuilletConstants;
  SDateFormatUnknown = "The format of date is unknown!";
  SDateOperatorNotValid = "The date operator is not guilty!";
  SInputMissing = "The file for reading the comments has to be declared! (Use switch INPUT)";
  SOutputMissing = "The file for storing the CVS comments has to be declared! (Use switch OUTPUT)";
  SPersonMissing = "The person has to be declared! (Use switch PERSON)";
  SDateMissing = "The date has to be declared! (Use switch DATE)";
  SLockWaitNotValid = "/LOCKWAIT=%s is no number of seconds!";
  SLockWaitHint = "600 (ten minutes), 0 (no end)";
  SLockWaitDescription =
      "This switch sets how many seconds a run waits for another run on the same output file.";
  SNoCvsLog = "The file %s holds no cvs log or rlog output!";
  SStandardInput = "- (standard input)";
  SWarnUnknownSwitch = "%s: no such switch";
  SWarnDidYouMean = "; did you mean /%s?";
  SWarnListedByHelp = " (\"%s --help\" lists them)";
  SWarnSwitchInValue = "%s: the value \"%s\" holds the switch /%s; give each switch as an argument of its own";
  SWarnNoOperator = "/DATE=%s holds no operator (.eq, .gt, .ge, .lt, .le); read as %s";
  SWarnMoreThanOperator = "/DATE=%s holds letters besides one operator (.eq, .gt, .ge, .lt, .le); read as %s";
  SWarnPlaceholder = "%s: \"%s\" from %s is the placeholder of an export; give a real value";
  SFromIniFile = "the INI file %s";
  SFromRegistryKey = "the registry key HKEY_CURRENT_USER\\%s";
  SFromCommandLine = "the command line";
  STryHelp = "Try \"%s --help\" for the list of switches.";
  SDateOptionHint =
      ".gt (greater than), .ge (greater equal), .eq (equal), .lt (less then), .le (less equal)";
  SDateDescription =
      "This switch manages, for which date the comments have to be filtrated. Specification of this "
      "switch can also be relative.\r\n"
      "                                For example: /date=.eq-7";
  SPersonDefault = SAuthorDefault = SInputDefault = SOutputDefault = "no default value";
  SPersonDescription = "This switch shows in output file, which person has started Quillet.";
  SAuthorDescription =
      "This switch contains the name of author, for which the comments have to be filtrated.";
  SInputDescription = "This switch gets the name for filtering file.";
  SOutputDescription = "This switch gets the name of file, where the filtering results will be stored.";
  // The switch library's English texts are put in force here as well.
  SetProgramSwitchEnglishTexts();
}

void ShutdownQuilletEnglishConstants() {}
