#include "Bibliothek/Schalter/fProgramSwitchHelp.h"

#include <string>

#include "Bibliothek/Plattform/uOsConsole.h"
#include "Bibliothek/Schalter/uProgramSwitch.h"
#include "Bibliothek/Schalter/uProgramSwitchConstant.h"
#include "Bibliothek/uFailure.h"

using namespace uProgramSwitchConstant;

TOsWindowLayout TfrmSwitchHelp::Layout() {
  TOsWindowLayout layout;
  layout.Bounds = {236, 155, 625, 489};
  layout.ClientWidth = 617;
  layout.ClientHeight = 462;
  layout.Font = {"MS Sans Serif", 11};
  layout.TextBox = {8, 22, 600, 391};
  layout.TextBoxAnchors = akLeft | akTop | akRight | akBottom;
  layout.TextBoxFont = {"Small Fonts", 9};
  layout.Button = {535, 426, 75, 25};
  layout.ButtonAnchors = akRight | akBottom;
  layout.ButtonCaption = "OK";
  return layout;
}

TfrmSwitchHelp::TfrmSwitchHelp() : TForm(Layout()) {
  FController = TBaseController::Create<TProgramSwitchHelpController>(this);
  FController->FillSwitchList();
}

// The controller goes first; the window and its child controls follow.
TfrmSwitchHelp::~TfrmSwitchHelp() { FController.reset(); }

namespace {
/// Runs one export when its switch asks for it: nullopt when it does not,
/// else the exit code.
template <class TExport>
std::optional<int> RunExport(const std::string& switchName, TExport exportSwitches) {
  const std::string selector = ProgramSwitch->GetValue(switchName)->AsString();
  if (selector.empty() || selector == SNoDefaultValue) return std::nullopt;
  // A selector that chooses nothing is a slip: nothing is created, and the
  // call is refused as a wrong one.
  std::string sections;
  if (!ProgramSwitch->SelectorChoosesAny(selector, sections)) {
    OsWriteConsoleLine(FormatMessage(SSelectorChoosesNothing, {switchName, selector}));
    ProgramSwitch->Warn(FormatMessage(SSelectorTakes, {switchName, selector, sections}));
    return 2;
  }
  try {
    exportSwitches();
    return 0;
  } catch (const EFailure& failure) {
    OsShowErrorBox(SErrorTitle, failure.Message());
    return 1;
  }
}
}  // namespace

std::optional<int> RunStartupSwitches() {
  if (ProgramSwitch->GetValue(SHelpSwitch)->AsBoolean()) {
    TfrmSwitchHelp form;
    form.ShowModal();
    return 0;
  }
  if (auto code = RunExport(SWriteIniSwitch, [] { ProgramSwitch->WriteIni(); })) return code;
  return RunExport(SWriteRegSwitch, [] { ProgramSwitch->WriteReg(); });
}
