#include "app/uQuilletConstants.h"

namespace uQuilletConstants {
std::string SPersonSwitch, SAuthorSwitch, SDateSwitch, SOutputSwitch, SInputSwitch, SRootSwitch, SLockWaitSwitch;
std::string SLockWaitNotValid, SWarnLockWait, SLockWaitHint, SLockWaitDescription;
std::string SDateFormatUnknown, SDateOperatorNotValid, SInputMissing, SOutputMissing, SPersonMissing,
    SDateMissing;
std::string SReportPersonLabel, SReportDateLabel;
std::string SNoCvsLog, SLogCutShort, SStandardInput, SLockStillHeld, SLockStillHeldBy, SOutputChanged;
std::string SArgumentNoSwitch, SSwitchGivenTwice, SSwitchInValueLine, SUnbalancedQuote, SPlaceholderValue,
    SIniValueCut, SMacroNotSetValue, SNoAuthorInList, SWarnNoAuthorInList;
std::string SWarnUnknownSwitch, SWarnDidYouMean, SWarnListedByHelp, SWarnSwitchInValue, SWarnGivenTwice,
    SWarnUnbalancedQuote, SWarnPlaceholder, SWarnIniValueCut, SWarnDate, SFromIniFile, SFromRegistryKey,
    SFromCommandLine, STryHelp;
std::string SHelpUsage, SHelpExamples, SHelpWeekly, SHelpWeeklyWhy, SHelpAuthors, SHelpAuthorsWhy, SHelpPipe,
    SHelpPipeWhy;
std::string SDateOptionHint, SDateDescription;
std::string SPersonDefault, SAuthorDefault, SInputDefault, SOutputDefault;
std::string SPersonDescription, SAuthorDescription, SInputDescription, SOutputDescription;
std::string SRootOptionHint, SRootDescription;

// The initial wording is the program's mother tongue; it is replaced before use.
void StartupQuilletConstants() {
  SPersonSwitch = "PERSON";
  SAuthorSwitch = "AUTHOR";
  SDateSwitch = "DATE";
  SOutputSwitch = "OUTPUT";
  SInputSwitch = "INPUT";
  SRootSwitch = "ROOT";
  SLockWaitSwitch = "LOCKWAIT";
  SLockWaitNotValid = "/LOCKWAIT=%s ist keine Zahl von Sekunden!";
  SWarnLockWait = "/LOCKWAIT=%s: ganze Sekunden, etwa /LOCKWAIT=600 (zehn Minuten) oder /LOCKWAIT=0 (ohne Ende)";
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
  SLogCutShort = "Die Datei %s endet in einem Dateiabschnitt: das Protokoll ist abgeschnitten!";
  SStandardInput = "- (Standardeingabe)";
  SLockStillHeld = "Die Sperrdatei %s ist auch nach %s Sekunden belegt: die Ausgabe bleibt, wie sie war!";
  SLockStillHeldBy = "Die Sperrdatei %s ist von %s belegt, auch nach %s Sekunden: die Ausgabe bleibt, wie sie war!";
  SOutputChanged = "Die Ausgabe %s wurde w\xE4" "hrend des Wartens auf ihre Sperre ge\xE4" "ndert: nichts wurde geschrieben!";
  SWarnUnknownSwitch = "%s: kein solcher Schalter";
  SWarnDidYouMean = "; meinten Sie /%s?";
  SWarnListedByHelp = " (\"%s --help\" listet sie)";
  SWarnSwitchInValue =
      "%s: der Wert \"%s\" enth\xE4" "lt den Schalter /%s; jeder Schalter braucht ein eigenes Argument";
  SArgumentNoSwitch = "Das Argument %s ist kein Schalter!";
  SSwitchGivenTwice = "Der Schalter /%s ist zweimal mit verschiedenen Werten angegeben!";
  SSwitchInValueLine = "Der Wert des Schalters /%s enth\xE4" "lt einen weiteren Schalter!";
  SUnbalancedQuote = "Der Wert des Schalters /%s enth\xE4" "lt ein einzelnes Anf\xFC" "hrungszeichen!";
  SPlaceholderValue = "Der Wert des Schalters /%s ist der Platzhalter eines Exports!";
  SIniValueCut = "Der Wert des Schalters /%s in der Ini-Datei endet am ersten \"/\"!";
  SMacroNotSetValue = "Der Wert des Schalters /%s nennt ein Makro, das nicht gesetzt ist!";
  SNoAuthorInList = "Der Wert des Schalters /%s nennt keinen Autor!";
  SWarnNoAuthorInList = "/AUTHOR=%s nennt keinen Login; so geht es: /AUTHOR=dev1 oder /AUTHOR=dev1,dev2";
  SWarnGivenTwice = "%s und %s: geben Sie jeden Schalter einmal an, mit dem gemeinten Wert";
  SWarnUnbalancedQuote =
      "%s: der Wert \"%s\" enth\xE4" "lt ein einzelnes \"; setzen Sie es hinter das \"=\": /PERSON=\"Team lead\"";
  SWarnIniValueCut = "%s in %s: ein Wert endet am ersten \"/\"; schreiben Sie \"\\\": %s";
  SWarnDate = "/DATE=%s ist keine Datumsbedingung im kurzen Datumsformat %s; so geht es: .ge-7, .ge%s, .ge-7.lt-0";
  SWarnPlaceholder = "%s: \"%s\" aus %s ist der Platzhalter eines Exports; geben Sie einen echten Wert an";
  SFromIniFile = "der Ini-Datei %s";
  SFromRegistryKey = "dem Registry-Schl\xFC" "ssel HKEY_CURRENT_USER\\%s";
  SFromCommandLine = "der Kommandozeile";
  STryHelp = "\"%s --help\" zeigt die Liste der Schalter.";
  SHelpUsage = "Aufruf: %s /DATE=Bedingung /AUTHOR=Login[,Login...] /PERSON=Name /INPUT=Datei /OUTPUT=Datei";
  SHelpExamples = "Beispiele:";
  SHelpWeekly = "  %s /DATE=.ge-7.lt-0 /AUTHOR=dev1 /PERSON=me /INPUT=cvs.log /OUTPUT=weekly.txt";
  SHelpWeeklyWhy = "      die sieben Tage vor heute: w\xF6" "chentliche L\xE4" "ufe ohne \xDC" "berlappung und L\xFC" "cke";
  SHelpAuthors = "  %s /DATE=.ge2026-12-01 /AUTHOR=dev1,dev2 /PERSON=team /INPUT=cvs.log /OUTPUT=team.txt";
  SHelpAuthorsWhy = "      mehrere Autoren in einem Bericht";
  SHelpPipe = "  cvs -q log | %s /DATE=.ge-7 /AUTHOR=dev1 /PERSON=me /INPUT=- /OUTPUT=-";
  SHelpPipeWhy = "      aus einer Pipe, der Bericht allein auf die Standardausgabe";
  SDateOptionHint = ".gt (gr\xF6\xDF" "er), .ge (gr\xF6\xDF" "er gleich), .eq (gleich), .lt (kleiner), .le (kleiner gleich)";
  SDateDescription = "Dieser Schalter legt fest, f\xFCr welches Datum die Kommentare gefiltert werden.";
  SPersonDefault = SAuthorDefault = SInputDefault = SOutputDefault = "kein Vorgabewert";
  SPersonDescription = "Dieser Schalter nennt in der Ausgabedatei die Person, die Quillet gestartet hat.";
  SAuthorDescription = "Dieser Schalter enth\xE4" "lt den Namen des Autors, dessen Kommentare gefiltert werden.";
  SInputDescription = "Dieser Schalter nennt die zu filternde Datei.";
  SOutputDescription = "Dieser Schalter nennt die Datei, in der die Ergebnisse gespeichert werden.";
  SRootOptionHint = "/var/lib/cvs, \\var\\lib\\cvs, C:\\cvsrepo";
  SRootDescription = "Dieser Schalter nennt die Wurzel des Repositorys, die im Baum der Ausgabe fehlt.";
}

void ShutdownQuilletConstants() {}
}  // namespace uQuilletConstants
