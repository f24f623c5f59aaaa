#pragma once
// The small controller framework of the windows: TForm, a window built from
// its layout; TBaseController, the base of window controllers; and
// TMessageCatcher, a zero-sized child control through which a controller is
// called back once the window's modal loop runs (AfterShow).
#include <functional>
#include <memory>

#include "Bibliothek/Plattform/uOsWindow.h"

/// WM_USER + 1: posted to the form by NotifyForm; nothing handles it.
inline constexpr unsigned NotifyFormMessage = 0x0400 + 1;
/// WM_USER + 2: the catcher's message.
inline constexpr unsigned CatcherMessage = 0x0400 + 2;

/// A window with a text box and an OK button; owns its native window.
class TForm {
public:
  explicit TForm(const TOsWindowLayout& layout) : FWindow(OsCreateWindow(layout)) {}
  virtual ~TForm() { OsDestroyWindow(FWindow); }
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  TOsWindow* Window() const { return FWindow; }
  /// Returns when the user has closed the window.
  void ShowModal() { OsShowModal(FWindow); }

private:
  TOsWindow* FWindow;
};

/// A zero-sized child control of a form that handles CatcherMessage alone.
class TMessageCatcher {
public:
  using TOnMessage = std::function<void(TMessageCatcher* sender)>;

  /// Made with no owner and inserted into `parent`'s child controls.
  explicit TMessageCatcher(TOsWindow* parent);
  /// Takes the catcher out of its window.
  ~TMessageCatcher();
  TMessageCatcher(const TMessageCatcher&) = delete;
  TMessageCatcher& operator=(const TMessageCatcher&) = delete;

  void SetOnMessage(TOnMessage onMessage) { FOnMessage = std::move(onMessage); }
  /// Creates the native window on demand.
  TOsHandle Handle() const { return OsChildHandle(FChild); }

private:
  void HandleMessage();

  TOsWindow* FParent;
  TOsChild* FChild;
  TOnMessage FOnMessage;
};

/// Base of window controllers. A form creates its controller with Create and owns it.
class TBaseController {
public:
  /// Makes a controller of class T for `form`: a catcher is inserted into the
  /// form and posted to, then NotifyForm (T's override) posts to the form.
  /// Both messages wait until the form's modal loop runs.
  template <class T>
  static std::unique_ptr<T> Create(TForm* form) {
    std::unique_ptr<T> controller(new T(form));
    controller->Construct();
    return controller;
  }
  virtual ~TBaseController();
  TBaseController(const TBaseController&) = delete;
  TBaseController& operator=(const TBaseController&) = delete;

  /// Posts NotifyFormMessage to the form's native window.
  virtual void NotifyForm();
  /// Runs once the catcher's message has arrived, inside the modal loop. Empty here.
  virtual void AfterShow() {}

  /// Removes and destroys the catcher, then calls AfterShow.
  void HandleCatcherMessage(TMessageCatcher* sender);

  TForm* Form() const { return FForm; }
  bool HasCatcher() const { return FCatcher != nullptr; }

protected:
  explicit TBaseController(TForm* form) : FForm(form) {}

private:
  void Construct();

  TForm* FForm;  // not owned
  std::unique_ptr<TMessageCatcher> FCatcher;
};
