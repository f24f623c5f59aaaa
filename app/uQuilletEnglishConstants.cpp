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
  SWarnLockWait = "/LOCKWAIT=%s: whole seconds, such as /LOCKWAIT=600 (ten minutes) or /LOCKWAIT=0 (no end)";
  SLockWaitHint = "600 (ten minutes), 0 (no end)";
  SLockWaitDescription =
      "This switch sets how many seconds a run waits for another run on the same output file.";
  SNoCvsLog = "The file %s holds no cvs log or rlog output!";
  SLogCutShort = "The file %s ends inside a file section: the log is cut short!";
  SStandardInput = "- (standard input)";
  SLockStillHeld = "The lock file %s is still held after %s seconds: the output stays as it was!";
  SLockStillHeldBy = "The lock file %s is still held by %s after %s seconds: the output stays as it was!";
  SOutputChanged = "The output %s was changed while the run waited for its lock: nothing was written!";
  SWarnUnknownSwitch = "%s: no such switch";
  SWarnDidYouMean = "; did you mean /%s?";
  SWarnListedByHelp = " (\"%s --help\" lists them)";
  SWarnSwitchInValue = "%s: the value \"%s\" holds the switch /%s; give each switch as an argument of its own";
  SArgumentNoSwitch = "The argument %s is no switch!";
  SSwitchGivenTwice = "The switch /%s is given twice with different values!";
  SSwitchInValueLine = "The value of switch /%s holds another switch!";
  SUnbalancedQuote = "The value of switch /%s holds an unbalanced double quote!";
  SPlaceholderValue = "The value of switch /%s is the placeholder of an export!";
  SIniValueCut = "The value of switch /%s in the INI file ends at its first \"/\"!";
  SMacroNotSetValue = "The value of switch /%s names a macro that is not set!";
  SNoAuthorInList = "The value of switch /%s names no author!";
  SWarnNoAuthorInList = "/AUTHOR=%s names no login; forms that work: /AUTHOR=dev1, /AUTHOR=dev1,dev2";
  SWarnGivenTwice = "%s and %s: give each switch once, with the value you mean";
  SWarnUnbalancedQuote = "%s: the value \"%s\" holds an unbalanced double quote; quote after the \"=\": /PERSON=\"Team lead\"";
  SWarnIniValueCut = "%s in %s: an INI value ends at its first \"/\"; write \"\\\" instead: %s";
  SWarnDate = "/DATE=%s is no date condition in the short date format %s; forms that work: .ge-7, .ge%s, .ge-7.lt-0";
  SWarnPlaceholder = "%s: \"%s\" from %s is the placeholder of an export; give a real value";
  SFromIniFile = "the INI file %s";
  SFromRegistryKey = "the registry key HKEY_CURRENT_USER\\%s";
  SFromCommandLine = "the command line";
  STryHelp = "Try \"%s --help\" for the list of switches.";
  SHelpUsage = "Usage: %s /DATE=condition /AUTHOR=login[,login...] /PERSON=name /INPUT=file /OUTPUT=file";
  SHelpExamples = "Examples:";
  SHelpWeekly = "  %s /DATE=.ge-7.lt-0 /AUTHOR=dev1 /PERSON=me /INPUT=cvs.log /OUTPUT=weekly.txt";
  SHelpWeeklyWhy = "      the seven days before today: weekly runs neither overlap nor leave a gap";
  SHelpAuthors = "  %s /DATE=.ge2026-12-01 /AUTHOR=dev1,dev2 /PERSON=team /INPUT=cvs.log /OUTPUT=team.txt";
  SHelpAuthorsWhy = "      several authors in one report";
  SHelpPipe = "  cvs -q log | %s /DATE=.ge-7 /AUTHOR=dev1 /PERSON=me /INPUT=- /OUTPUT=-";
  SHelpPipeWhy = "      from a pipe, the report alone to standard output";
  SDateOptionHint =
      ".gt (greater than), .ge (greater equal), .eq (equal), .lt (less then), .le (less equal)";
  SDateDescription =
      "This switch manages, for which date the comments have to be filtrated. Specification of this "
      "switch can also be relative.\r\n"
      "                                For example: /date=.eq-7, or a range: /date=.ge-7.lt-0";
  SPersonDefault = SAuthorDefault = SInputDefault = SOutputDefault = "no default value";
  SPersonDescription = "This switch shows in output file, which person has started Quillet.";
  SAuthorDescription =
      "This switch contains the name of author, for which the comments have to be filtrated. Several "
      "authors: /author=dev1,dev2";
  SInputDescription = "This switch gets the name for filtering file.";
  SOutputDescription = "This switch gets the name of file, where the filtering results will be stored.";
  SRootDescription =
      "This switch names the repository root, which the folder tree of the report leaves out. A \"\\\" in it "
      "stands for either separator.";
  // The switch library's English texts are put in force here as well.
  SetProgramSwitchEnglishTexts();
}

void ShutdownQuilletEnglishConstants() {}
