// The controller framework in a real modal loop: the catcher's message runs
// AfterShow inside the loop, after the form was shown and before messages
// posted later. Needs a window: natively nothing more, under wine a display
// (tools/test-window.sh runs it under Xvfb).
#include "Bibliothek/Schalter/cController.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Bibliothek/Schalter/fProgramSwitchHelp.h"

namespace {

std::vector<std::string> events;

class TRecordingController : public TBaseController {
public:
  void NotifyForm() override {
    events.push_back("NotifyForm");
    TBaseController::NotifyForm();
  }
  void AfterShow() override { events.push_back(HasCatcher() ? "AfterShow with catcher" : "AfterShow"); }

protected:
  friend class TBaseController;
  using TBaseController::TBaseController;
};

TEST(Controller, CatcherMessageRunsAfterShowInsideTheModalLoopInPostedOrder) {
  events.clear();
  TForm form(TfrmSwitchHelp::Layout());
  auto controller = TBaseController::Create<TRecordingController>(&form);
  TMessageCatcher later(form.Window());
  later.SetOnMessage([&](TMessageCatcher*) {
    events.push_back("later message");
    OsCloseWindow(form.Window());
  });
  ASSERT_TRUE(OsPostMessage(later.Handle(), CatcherMessage));
  events.push_back("ShowModal");
  form.ShowModal();
  events.push_back("closed");
  EXPECT_EQ((std::vector<std::string>{"NotifyForm", "ShowModal", "AfterShow", "later message", "closed"}), events);
  EXPECT_FALSE(controller->HasCatcher());
}

}  // namespace
