#include "Bibliothek/Schalter/cProgramSwitchHelp.h"

#include "Bibliothek/Schalter/fProgramSwitchHelp.h"
#include "Bibliothek/Schalter/uProgramSwitch.h"
#include "Bibliothek/Schalter/uProgramSwitchConstant.h"
#include "Bibliothek/uFailure.h"
#include "Bibliothek/uStringRoutines.h"

using namespace uProgramSwitchConstant;

namespace {
void AppendSwitch(std::vector<std::string>& lines, const std::string& key, const TSwitchTexts& texts) {
  lines.push_back(key + "=" + texts[1]);
  lines.push_back(SOptLabel + texts[0]);
  lines.push_back(SDescriptionLabel + texts[2]);
  lines.emplace_back();
}
}  // namespace

std::vector<std::string> SwitchOverviewLines(const std::vector<std::string>& first) {
  std::vector<std::string> lines;
  auto isFirst = [&](int i) {
    for (const std::string& name : first)
      if (SameText(name, ProgramSwitch->SwitchName(i))) return true;
    return false;
  };
  for (const bool pass : {true, false})
    for (int i = 0; i < ProgramSwitch->SwitchCount(); ++i)
      if (isFirst(i) == pass) AppendSwitch(lines, ProgramSwitch->SwitchKey(i), ProgramSwitch->SwitchEntry(i));
  for (int i = 0; i < ProgramSwitch->HiddenSwitchCount(); ++i) {
    if (SameText(ProgramSwitch->GetValue(SShowHiddenSwitch, "", SShowHiddenDefault)->AsString(),
                 SShowHiddenDefault))
      break;
    AppendSwitch(lines, ProgramSwitch->HiddenSwitchKey(i), ProgramSwitch->HiddenSwitchEntry(i));
  }
  return lines;
}

void TProgramSwitchHelpController::FillSwitchList() {
  if (!dynamic_cast<TfrmSwitchHelp*>(Form())) throw EFailure("Assertion failed (cProgramSwitchHelp, line 56)");
  TOsWindow* window = Form()->Window();
  OsSetWindowCaption(window, SHelpCaption);
  OsClearLines(window);
  for (const std::string& line : SwitchOverviewLines()) OsAppendLine(window, line);
}
