#include "framework/application.h"

#include "framework/exception.h"
#include "framework/report.h"
#include "framework/startup_stamps.h"

namespace fw {

TApplication::TApplication() : TComponent(nullptr) {}

void TApplication::Initialize() {}

TForm* TApplication::CreateForm(const std::function<TForm*(TComponent* owner)>& factory) {
  TForm* form = factory(this);
  if (!form) throw EInvalidOperation("The form factory made no form");
  if (!main_form_) {
    main_form_ = form;
    form->main_form_ = true;
  }
  // The form is whole: what its OnCreate raises is reported like a handler's in the loop.
  try {
    form->DoCreate();
  } catch (const std::exception& error) {
    HandleException(error);
  }
  return form;
}

void TApplication::Run() {
  if (!main_form_) return;
  main_form_->Show();
  PINSCOPE_STAMP_STARTUP(kWindowsMade);
  while (!terminated_) {
    PINSCOPE_STAMP_STARTUP_WHEN_IDLE();
    MSG message;
    // Outside the guard: a loop that cannot get messages has nothing to go on with.
    const BOOL got = win::GetMessageA(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      terminated_ = true;
      break;
    }
    Dispatch(message);
  }
}

void TApplication::Dispatch(MSG& message) {
  try {
    // Tab, the arrow keys and Enter move among a window's controls as in a dialog box.
    if (const HWND root = message.hwnd ? win::GetAncestor(message.hwnd, GA_ROOT) : nullptr) {
      if (win::IsDialogMessageA(root, &message)) return;
    }
    win::TranslateMessage(&message);
    win::DispatchMessageA(&message);
  } catch (const std::exception& error) {
    HandleException(error);
  }
}

void TApplication::HandleException(const std::exception& error) {
  if (OnException.Assigned()) {
    OnException(this, error);
  } else {
    ReportException(error);
  }
}

void TApplication::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == TOperation::opRemove && component == main_form_) main_form_ = nullptr;
}

}  // namespace fw
