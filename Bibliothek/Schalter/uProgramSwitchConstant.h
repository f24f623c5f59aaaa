#pragma once
// The switch library's texts. StartupProgramSwitchConstant gives them their
// initial wording; SetProgramSwitchEnglishTexts puts the English wording in
// force for the descriptions, the failure messages, the description label,
// the overview caption and the "no default value" default. All other texts
// have a single wording.
#include <string>

namespace uProgramSwitchConstant {
// Names of the built-in switches, in the order of their registration.
extern std::string SRegOffSwitch;      // REGOFF
extern std::string SIniOffSwitch;      // INIOFF
extern std::string SCmdOffSwitch;      // CMDOFF
extern std::string SRegPathSwitch;     // REGPATH
extern std::string SIniPathSwitch;     // INIPATH
extern std::string SIniFileSwitch;     // INIFILE
extern std::string SWriteIniSwitch;    // WRITEINI
extern std::string SWriteRegSwitch;    // WRITEREG
extern std::string SShowHiddenSwitch;  // SHOWHIDDEN
/// The help switch; recognised but never registered.
extern std::string SHelpSwitch;  // ?

// Option hints and defaults of the built-in switches.
extern std::string SSourceOffHint;     // "+, -"   (REGOFF, INIOFF, CMDOFF)
extern std::string SSourceOffDefault;  // "-"
extern std::string SRegPathHint;       // "\Software\ORVEK"
extern std::string SIniPathHint;       // "c:\win"
extern std::string SIniFileHint;       // "win32.ini"
extern std::string SWriteHint;         // "all, [Parameters], [Resources], ..." (WRITEINI, WRITEREG)
extern std::string SNoDefaultValue;    // "no default value" (WRITEINI, WRITEREG)
extern std::string SShowHiddenHint;    // "on, off"
extern std::string SShowHiddenDefault; // "off"

// Descriptions of the built-in switches.
extern std::string SRegOffDescription, SIniOffDescription, SCmdOffDescription;
extern std::string SRegPathDescription, SIniPathDescription, SIniFileDescription;
extern std::string SWriteIniDescription, SWriteRegDescription, SShowHiddenDescription;

// Failure messages of the library.
extern std::string SMultipleRegistries;  // %s: the name as passed to Register
// A settings file (INI or registry file) that is refused; %s: its path.
extern std::string SSettingsNotAFile, SSettingsTooLarge, SSettingsForeignLink;
extern std::string SFormatNotValid;      // prefix of a failed number conversion
extern std::string SIniFileNotFound;     // prefix of a failed creation of the INI source
extern std::string SMacrosTooLong;       // %s: the switch whose macros expand beyond 64 KiB

// Warnings, handed to the program's warning handler.
extern std::string SMacroNotSet;  // first %s: the switch, second %s: the reference (%NAME%)
extern std::string SExportKept;   // first %s: how many, second %s: the INI file or registry key

// A selector of WRITEINI or WRITEREG that chooses no switch: the failure line
// (switch, selector) and the line that says what it takes (switch, selector, sections).
extern std::string SSelectorChoosesNothing, SSelectorTakes;

// Messages of the platform's kind; they have no English wording.
extern std::string SNotAnInteger;     // "'%s' ist kein gültiger Integerwert"
extern std::string SNotAFloat;        // "'%s' ist kein gültiger Gleitkommawert"
extern std::string SInvalidDataType;  // "Ungültiger Datentyp für '%s'"
extern std::string SNoExecutablePath; // the executable's path is unknown
extern std::string SCannotWriteIni;   // "In %s kann nicht geschrieben werden"
extern std::string SCannotSetRegData; // "Fehler beim Setzen der Daten für '%s'"
extern std::string SErrorTitle;       // "Fehler", title of the error message box

// Places.
extern std::string SRegistryBasePath;   // "\Software\ORVEK\"
extern std::string SParametersSection;  // PARAMETERS
extern std::string SMacrosSection;      // MACROS

// The switch overview.
extern std::string SOptLabel;          // "     Opt: "
extern std::string SDescriptionLabel;  // "     Description: "
extern std::string SHelpCaption;       // "List of registered switches"
}  // namespace uProgramSwitchConstant

/// Gives every text its initial wording.
void StartupProgramSwitchConstant();
/// Puts the English wording in force (called by the program's English texts module).
void SetProgramSwitchEnglishTexts();
void ShutdownProgramSwitchConstant();
