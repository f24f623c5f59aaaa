#include "app/uQuilletConstants.h"

namespace uQuilletConstants {
std::string SPersonSwitch, SAuthorSwitch, SDateSwitch, SOutputSwitch, SInputSwitch, SLockWaitSwitch;
std::string SLockWaitNotValid, SLockWaitHint, SLockWaitDescription;
std::string SDateFormatUnknown, SDateOperatorNotValid, SInputMissing, SOutputMissing, SPersonMissing,
    SDateMissing;
std::string SReportPersonLabel, SReportDateLabel;
std::string SNoCvsLog, SStandardInput;
std::string SWarnUnknownSwitch, SWarnDidYouMean, SWarnListedByHelp, SWarnSwitchInValue, SWarnNoOperator,
    SWarnMoreThanOperator, SWarnPlaceholder, SFromIniFile, SFromRegistryKey, SFromCommandLine, STryHelp;
std::string SDateOptionHint, SDateDescription;
std::string SPersonDefault, SAuthorDefault, SInputDefault, SOutputDefault;
std::string SPersonDescription, SAuthorDescription, SInputDescription, SOutputDescription;

// The initial wording is the program's mother tongue; it is replaced before use.
void StartupQuilletConstants() {
  SPersonSwitch = "PERSON";
  SAuthorSwitch = "AUTHOR";
  SDateSwitch = "DATE";
  SOutputSwitch = "OUTPUT";
  SInputSwitch = "INPUT";
  SLockWaitSwitch = "LOCKWAIT";
  SLockWaitNotValid = "/LOCKWAIT=%s ist keine Zahl von Sekunden!";
  SLockWaitHint = "600 (zehn Minuten), 0 (ohne Ende)";
  SLockWaitDescription =
      "Dieser Schalter legt fest, wie viele Sekunden ein Lauf auf einen anderen Lauf mit derselben Ausgabedatei wartet.";
  SReportPersonLabel = "User: ";
  SReportDateLabel = "Datum: ";
  SDateFormatUnknown = "Das Datumsformat ist unbekannt!";
  SDateOperatorNotValid = "Der Datumsoperator ist ung\xFC" "ltig!";
  SInputMissing = "Die Datei zum Lesen der Kommentare muss angegeben werden! (Schalter INPUT)";
  SOutputMissing = "Die Datei zum Speichern der CVS-Kommentare muss angegeben werden! (Schalter OUTPUT)";
  SPersonMissing = "Die Person muss angegeben werden! (Schalter PERSON)";
  SDateMissing = "Das Datum muss angegeben werden! (Schalter DATE)";
  SNoCvsLog = "Die Datei %s enth\xE4" "lt keine Ausgabe von cvs log oder rlog!";
  SStandardInput = "- (Standardeingabe)";
  SWarnUnknownSwitch = "%s: kein solcher Schalter";
  SWarnDidYouMean = "; meinten Sie /%s?";
  SWarnListedByHelp = " (\"%s --help\" listet sie)";
  SWarnSwitchInValue =
      "%s: der Wert \"%s\" enth\xE4" "lt den Schalter /%s; jeder Schalter braucht ein eigenes Argument";
  SWarnNoOperator = "/DATE=%s enth\xE4" "lt keinen Operator (.eq, .gt, .ge, .lt, .le); gelesen als %s";
  SWarnMoreThanOperator = "/DATE=%s enth\xE4" "lt mehr als einen Operator (.eq, .gt, .ge, .lt, .le); gelesen als %s";
  SWarnPlaceholder = "%s: \"%s\" aus %s ist der Platzhalter eines Exports; geben Sie einen echten Wert an";
  SFromIniFile = "der Ini-Datei %s";
  SFromRegistryKey = "dem Registry-Schl\xFC" "ssel HKEY_CURRENT_USER\\%s";
  SFromCommandLine = "der Kommandozeile";
  STryHelp = "\"%s --help\" zeigt die Liste der Schalter.";
  SDateOptionHint = ".gt (gr\xF6\xDF" "er), .ge (gr\xF6\xDF" "er gleich), .eq (gleich), .lt (kleiner), .le (kleiner gleich)";
  SDateDescription = "Dieser Schalter legt fest, f\xFCr welches Datum die Kommentare gefiltert werden.";
  SPersonDefault = SAuthorDefault = SInputDefault = SOutputDefault = "kein Vorgabewert";
  SPersonDescription = "Dieser Schalter nennt in der Ausgabedatei die Person, die Quillet gestartet hat.";
  SAuthorDescription = "Dieser Schalter enth\xE4" "lt den Namen des Autors, dessen Kommentare gefiltert werden.";
  SInputDescription = "Dieser Schalter nennt die zu filternde Datei.";
  SOutputDescription = "Dieser Schalter nennt die Datei, in der die Ergebnisse gespeichert werden.";
}

void ShutdownQuilletConstants() {}
}  // namespace uQuilletConstants
