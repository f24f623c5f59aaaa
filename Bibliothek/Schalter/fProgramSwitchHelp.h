#pragma once
// The switch overview window and the start-up check of /?, WRITEINI and WRITEREG.
#include <memory>
#include <optional>

#include "Bibliothek/Schalter/cController.h"
#include "Bibliothek/Schalter/cProgramSwitchHelp.h"

/// The switch overview: a text box with one block of lines per registered
/// switch and an OK button. Builds and fills itself on construction.
class TfrmSwitchHelp : public TForm {
public:
  TfrmSwitchHelp();
  ~TfrmSwitchHelp() override;

  TProgramSwitchHelpController* Controller() const { return FController.get(); }

  /// The window's layout: 625 x 489 at 236, 155, the text box anchored to all
  /// four sides, OK to the right and bottom.
  static TOsWindowLayout Layout();

private:
  std::unique_ptr<TProgramSwitchHelpController> FController;
};

/// Looks at /?, then WRITEINI, then WRITEREG. /? shows the overview window;
/// a WRITEINI or WRITEREG value other than "" and "no default value" exports
/// the switches, and a failure of the export is shown in the error box. The
/// result is the exit code when the program is to end here (0 after the
/// overview or a successful export, 1 after a failed export), nullopt when
/// nothing was asked for and the filter is to run.
std::optional<int> RunStartupSwitches();
