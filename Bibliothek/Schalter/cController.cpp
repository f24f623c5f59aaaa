#include "Bibliothek/Schalter/cController.h"

TMessageCatcher::TMessageCatcher(TOsWindow* parent)
    : FParent(parent), FChild(OsCreateCatcher(parent, CatcherMessage, [this] { HandleMessage(); })) {}

TMessageCatcher::~TMessageCatcher() { OsRemoveChild(FParent, FChild); }

void TMessageCatcher::HandleMessage() {
  // The callback usually destroys this catcher: it must not run from a member.
  const TOnMessage onMessage = FOnMessage;
  if (onMessage) onMessage(this);
}

TBaseController::~TBaseController() = default;

void TBaseController::Construct() {
  FCatcher = std::make_unique<TMessageCatcher>(FForm->Window());
  FCatcher->SetOnMessage([this](TMessageCatcher* sender) { HandleCatcherMessage(sender); });
  OsPostMessage(FCatcher->Handle(), CatcherMessage);
  NotifyForm();
}

void TBaseController::NotifyForm() { OsPostMessage(OsWindowHandle(FForm->Window()), NotifyFormMessage); }

void TBaseController::HandleCatcherMessage(TMessageCatcher* /*sender*/) {
  FCatcher.reset();
  AfterShow();
}
