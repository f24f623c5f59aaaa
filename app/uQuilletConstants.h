#pragma once
// The filter's texts. They start with their initial wording; the start-up of
// uQuilletEnglishConstants puts the English wording in force (all but the
// switch names), before any other module of the program does any work.
#include <string>

namespace uQuilletConstants {
// Switch names; the date and author names are also the labels the engine looks for.
extern std::string SPersonSwitch;  // "PERSON"
extern std::string SAuthorSwitch;  // "AUTHOR"
extern std::string SDateSwitch;    // "DATE"
extern std::string SOutputSwitch;  // "OUTPUT"
extern std::string SInputSwitch;   // "INPUT"
extern std::string SRootSwitch;    // "ROOT"
extern std::string SLockWaitSwitch;  // "LOCKWAIT": seconds a run waits for another run's lock

// Messages.
extern std::string SDateFormatUnknown;      // "The format of date is unknown!"
extern std::string SDateOperatorNotValid;   // "The date operator is not guilty!"
extern std::string SInputMissing;           // "The file for reading the comments has to be declared! (Use switch INPUT)"
extern std::string SOutputMissing;          // "The file for storing the CVS comments has to be declared! (Use switch OUTPUT)"
extern std::string SPersonMissing;          // "The person has to be declared! (Use switch PERSON)"
extern std::string SDateMissing;            // "The date has to be declared! (Use switch DATE)"
extern std::string SLockWaitNotValid;       // %s: the value; not a number of seconds
extern std::string SWarnLockWait;           // %s: the value; the forms that work

extern std::string SNoCvsLog;               // "The file %s holds no cvs log or rlog output!"
extern std::string SLogCutShort;            // "The file %s ends inside a file section: the log is cut short!"
extern std::string SStandardInput;          // how SNoCvsLog names the input "-"
extern std::string SLockStillHeld;          // the lock file, the seconds waited
extern std::string SLockStillHeldBy;        // the lock file, its holder, the seconds waited
extern std::string SOutputChanged;          // %s: the output, given to another file during the lock wait

// Slips that would change which report is written: the run refuses with a
// failure line on standard output (exit code 2) ...
extern std::string SArgumentNoSwitch;   // %s: the argument
extern std::string SSwitchGivenTwice;   // %s: the switch
extern std::string SSwitchInValueLine;  // %s: the switch whose value holds another
extern std::string SUnbalancedQuote;    // %s: the switch
extern std::string SPlaceholderValue;   // %s: the switch
extern std::string SIniValueCut;        // %s: the switch
extern std::string SMacroNotSetValue;   // %s: the switch
extern std::string SNoAuthorInList;     // %s: the switch
// ... and one line on standard error, behind the program's name and ": ",
// that names the value read and the form that works.
extern std::string SWarnUnknownSwitch;   // %s: the argument; "no such switch"
extern std::string SWarnDidYouMean;      // %s: the closest switch; "; did you mean /%s?"
extern std::string SWarnListedByHelp;    // %s: the program; " ("%s --help" lists them)"
extern std::string SWarnSwitchInValue;   // name, value, the switch inside the value
extern std::string SWarnGivenTwice;      // the two items as written
extern std::string SWarnUnbalancedQuote; // name, value
extern std::string SWarnPlaceholder;     // name, placeholder, where it came from
extern std::string SWarnIniValueCut;     // the entry, the INI file, the entry as it works
extern std::string SWarnDate;            // the DATE text, the short date picture, today in it
extern std::string SWarnNoAuthorInList;  // the AUTHOR value
extern std::string SFromIniFile, SFromRegistryKey, SFromCommandLine;  // where a value came from
extern std::string STryHelp;             // %s: the program; a failure's second line

// The lines of --help before the switch overview; %s: the program.
extern std::string SHelpUsage, SHelpExamples, SHelpWeekly, SHelpWeeklyWhy, SHelpAuthors, SHelpAuthorsWhy, SHelpPipe,
    SHelpPipeWhy;

// The report header's labels, in front of the person and the day of the run.
// Fixed: readers of old reports look for them.
extern std::string SReportPersonLabel;  // "User: "
extern std::string SReportDateLabel;    // "Datum: "

// Registration texts of the filter switches.
extern std::string SDateOptionHint;
extern std::string SDateDescription;
extern std::string SPersonDefault, SAuthorDefault, SInputDefault, SOutputDefault;  // "no default value"
extern std::string SPersonDescription, SAuthorDescription, SInputDescription, SOutputDescription;
extern std::string SRootOptionHint, SRootDescription;  // the root's default is empty
extern std::string SLockWaitHint, SLockWaitDescription;

void StartupQuilletConstants();
void ShutdownQuilletConstants();
}  // namespace uQuilletConstants
