#include "Bibliothek/Schalter/uProgramSwitchConstant.h"

namespace uProgramSwitchConstant {
std::string SRegOffSwitch, SIniOffSwitch, SCmdOffSwitch, SRegPathSwitch, SIniPathSwitch, SIniFileSwitch,
    SWriteIniSwitch, SWriteRegSwitch, SShowHiddenSwitch, SHelpSwitch;
std::string SSourceOffHint, SSourceOffDefault, SRegPathHint, SIniPathHint, SIniFileHint, SWriteHint,
    SNoDefaultValue, SShowHiddenHint, SShowHiddenDefault;
std::string SRegOffDescription, SIniOffDescription, SCmdOffDescription;
std::string SRegPathDescription, SIniPathDescription, SIniFileDescription;
std::string SWriteIniDescription, SWriteRegDescription, SShowHiddenDescription;
std::string SSettingsNotAFile, SSettingsTooLarge, SSettingsForeignLink;
std::string SMultipleRegistries, SFormatNotValid, SIniFileNotFound, SMacrosTooLong, SMacroNotSet,
    SExportKept, SSelectorChoosesNothing, SSelectorTakes;
std::string SNotAnInteger, SNotAFloat, SInvalidDataType, SNoExecutablePath, SCannotWriteIni,
    SCannotSetRegData, SErrorTitle;
std::string SRegistryBasePath, SParametersSection, SMacrosSection;
std::string SOptLabel, SDescriptionLabel, SHelpCaption;
}  // namespace uProgramSwitchConstant

using namespace uProgramSwitchConstant;

// The initial wording is the library's mother tongue; the program replaces it
// before any of it is shown.
void StartupProgramSwitchConstant() {
  SRegOffSwitch = "REGOFF";
  SIniOffSwitch = "INIOFF";
  SCmdOffSwitch = "CMDOFF";
  SRegPathSwitch = "REGPATH";
  SIniPathSwitch = "INIPATH";
  SIniFileSwitch = "INIFILE";
  SWriteIniSwitch = "WRITEINI";
  SWriteRegSwitch = "WRITEREG";
  SShowHiddenSwitch = "SHOWHIDDEN";
  SHelpSwitch = "?";

  SSourceOffHint = "+, -";
  SSourceOffDefault = "-";
  SRegPathHint = "\\Software\\ORVEK";
  SIniPathHint = "c:\\win";
  SIniFileHint = "win32.ini";
  SWriteHint = "all, [Parameters], [Resources], ...";
  SNoDefaultValue = "kein Vorgabewert";
  SShowHiddenHint = "on, off";
  SShowHiddenDefault = "off";

  SRegOffDescription = "Dieser Schalter schaltet das Auslesen aus der Registry ein oder aus.";
  SIniOffDescription = "Dieser Schalter schaltet das Auslesen aus der Ini-Datei ein oder aus.";
  SCmdOffDescription = "Dieser Schalter schaltet das Auslesen aus der Kommandozeile ein oder aus.";
  SRegPathDescription = "Dieser Schalter setzt den Pfad in der Registry.";
  SIniPathDescription = "Dieser Schalter setzt den Pfad der Ini-Datei.";
  SIniFileDescription = "Dieser Schalter setzt den Namen der Ini-Datei.";
  SWriteIniDescription =
      "Dieser Schalter schreibt die registrierten Schalter in die Ini-Datei. Danach wird die Anwendung "
      "sofort beendet.";
  SWriteRegDescription =
      "Dieser Schalter schreibt die registrierten Schalter in die Registry. Danach wird die Anwendung "
      "sofort beendet.";
  SShowHiddenDescription =
      "Dieser Schalter zeigt oder verbirgt die Schalter, die mit der besonderen Methode registriert sind.";

  SMultipleRegistries = "Der Schalter %s kann nicht mehrfach registriert werden.";
  SFormatNotValid = "Das Format von Sektion und Parameter ist ung\xFC" "ltig!";
  SIniFileNotFound = "Fehler: Ini-Datei nicht gefunden!";
  SMacrosTooLong = "Die Makros des Schalters %s ergeben mehr als 64 KiB!";
  SMacroNotSet = "%s: Makro %s ist in MACROS nicht gesetzt, der Wert ist daher leer";
  SExportKept = "%s schon gesetzte Werte in %s bleiben";
  SSelectorChoosesNothing = "/%s=%s w\xE4hlt keinen Schalter!";
  SSelectorTakes = "/%s=%s: m\xF6glich sind all oder ein Abschnitt, mit oder ohne Klammern: %s";

  SNotAnInteger = "'%s' ist kein g\xFC" "ltiger Integerwert";
  SNotAFloat = "'%s' ist kein g\xFC" "ltiger Gleitkommawert";
  SInvalidDataType = "Ung\xFC" "ltiger Datentyp f\xFC" "r '%s'";
  SNoExecutablePath = "Der Pfad der Programmdatei ist unbekannt";
  SCannotWriteIni = "In %s kann nicht geschrieben werden";
  SSettingsNotAFile = "%s ist keine Datei und wird nicht gelesen";
  SSettingsTooLarge = "%s ist gr\xF6\xDF" "er als 16 MiB und wird nicht gelesen";
  SSettingsForeignLink = "%s ist ein Link eines anderen Benutzers und wird nicht gelesen";
  SCannotSetRegData = "Fehler beim Setzen der Daten f\xFC" "r '%s'";
  SErrorTitle = "Fehler";

  SRegistryBasePath = "\\Software\\ORVEK\\";
  SParametersSection = "PARAMETERS";
  SMacrosSection = "MACROS";

  SOptLabel = "     Opt: ";
  SDescriptionLabel = "     Beschreibung: ";
  SHelpCaption = "Liste der registrierten Schalter";
}

void SetProgramSwitchEnglishTexts() {
  SNoDefaultValue = "no default value";
  SRegOffDescription = "This switch switches the readout from the registry in or out.";
  SIniOffDescription = "This switch switches the readout from the Ini file in or out.";
  SCmdOffDescription = "This switch switches the readout from the command line in or out.";
  SRegPathDescription = "This switch sets the path of the registry.";
  SIniPathDescription = "This switch sets the path of the Ini file.";
  SIniFileDescription = "This switch sets the name of the Ini file.";
  SWriteIniDescription =
      "This switch activates the writing of the registered switches into the Ini file. The application "
      "terminates immediately afterwards.";
  SWriteRegDescription =
      "This switch activates the writing of the registered switches into the registry. The application "
      "terminates immediately afterwards.";
  SShowHiddenDescription =
      "This switch shows or hides the switches, which are registered with the special register method.";
  SMultipleRegistries = "Multiple registries from switch %s are not possible.";
  SFormatNotValid = "The format of section and parameter is not validly!";
  SIniFileNotFound = "Failure: Ini file not found!";
  SSettingsNotAFile = "%s is not a file and is not read";
  SSettingsTooLarge = "%s is larger than 16 MiB and is not read";
  SSettingsForeignLink = "%s is a link of another user and is not read";
  SMacrosTooLong = "The macros of switch %s expand to more than 64 KiB!";
  SMacroNotSet = "%s: macro %s is not set in MACROS, so the value is empty";
  SExportKept = "kept %s value(s) already set in %s";
  SSelectorChoosesNothing = "/%s=%s chooses no switch to write!";
  SSelectorTakes = "/%s=%s: it takes all, or a section with or without brackets: %s";
  SDescriptionLabel = "     Description: ";
  SHelpCaption = "List of registered switches";
}

void ShutdownProgramSwitchConstant() {}
