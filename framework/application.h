// The application: owns the forms, knows the main form, and runs the message loop until the
// main form closes. A program's main makes one and calls Initialize, CreateForm and Run.
#pragma once

#include <exception>
#include <functional>
#include <utility>

#include "framework/component.h"
#include "framework/forms.h"

namespace fw {

using TExceptionEvent = Method<TObject*, const std::exception&>;

class TApplication : public TComponent {
 public:
  TApplication();

  /// Start-up work before the forms are made.
  void Initialize();

  /// Makes a form owned by the application (the first one made is the main form), then
  /// raises its OnCreate.
  TForm* CreateForm(const std::function<TForm*(TComponent* owner)>& factory);
  template <typename Form, typename... Args>
  Form* CreateForm(Args&&... args) {
    return static_cast<Form*>(
        CreateForm([&](TComponent* owner) -> TForm* { return new Form(owner, std::forward<Args>(args)...); }));
  }
  TForm* MainForm() const { return main_form_; }

  /// Shows the main form and handles messages until the application ends (the main form is
  /// closed or its window destroyed). What a message's handling raises is reported and the
  /// loop goes on.
  void Run();
  /// The loop has seen the end (WM_QUIT).
  bool Terminated() const { return terminated_; }

  /// Reports an exception that reached the loop: OnException when assigned, else the default
  /// report (a message box with the exception's message).
  void HandleException(const std::exception& error);
  TExceptionEvent OnException;

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  void Dispatch(MSG& message);

  TForm* main_form_ = nullptr;
  bool terminated_ = false;
};

}  // namespace fw
