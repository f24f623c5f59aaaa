#pragma once
// The controller of the switch overview window and the overview text.
#include <string>
#include <vector>

#include "Bibliothek/Schalter/cController.h"

/// The overview of the registered switches, four lines per switch: the key
/// with its default, the option hint, the description, an empty line. Visible
/// switches first, in the order of registration, except that the visible
/// switches named in `first` come before the others; hidden ones follow while
/// SHOWHIDDEN is not "off".
std::vector<std::string> SwitchOverviewLines(const std::vector<std::string>& first = {});

class TProgramSwitchHelpController : public TBaseController {
public:
  /// Sets the form's caption and fills its text box with SwitchOverviewLines.
  /// The form must be a TfrmSwitchHelp.
  void FillSwitchList();

protected:
  friend class TBaseController;
  using TBaseController::TBaseController;
};
