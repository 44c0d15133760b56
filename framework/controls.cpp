#include "framework/controls.h"

#include <algorithm>

#include "framework/exception.h"
#include "framework/report.h"

namespace fw {

TControl::~TControl() { SetParent(nullptr); }

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  if (parent_) {
    auto& siblings = parent_->controls_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
  parent_ = parent;
  if (parent_) parent_->controls_.push_back(this);
}

void TControl::SetBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
}

TWinControl::TWinControl(TComponent* owner)
    : TControl(owner), WindowProc(TWndMethod::Of<&TWinControl::WndProc>(this)) {}

TWinControl::~TWinControl() {
  // A parent takes its child controls with it, whoever owns them.
  while (!controls_.empty()) delete controls_.back();
  DestroyHandle();
}

HWND TWinControl::Handle() {
  if (!handle_) CreateHandle();
  return handle_;
}

LRESULT TWinControl::Perform(UINT msg, WPARAM wparam, LPARAM lparam) {
  TMessage message{msg, wparam, lparam, 0};
  WindowProc(message);
  return message.Result;
}

TControl* TWinControl::Controls(int index) const {
  if (index < 0 || index >= ControlCount()) throw EListError(index);
  return controls_[static_cast<size_t>(index)];
}

void TWinControl::CreateParams(TCreateParams& params) { params.style = WS_CHILD | WS_VISIBLE; }

void TWinControl::WndProc(TMessage& message) { DefaultHandler(message); }

void TWinControl::DefaultHandler(TMessage& message) {
  message.Result = default_proc_ ? win::CallWindowProcA(default_proc_, handle_, message.Msg, message.WParam,
                                                        message.LParam)
                                 : win::DefWindowProcA(handle_, message.Msg, message.WParam, message.LParam);
}

void TWinControl::CreateHandle() {
  TCreateParams params;
  CreateParams(params);
  HWND parent_window = nullptr;
  if (params.style & WS_CHILD) {
    if (!Parent()) throw EInvalidOperation("Control '" + Name() + "' has no parent window");
    parent_window = Parent()->Handle();
  }
  HWND window = win::CreateWindowExA(params.ex_style, params.class_name.c_str(), params.caption.c_str(),
                                     params.style, Left(), Top(), Width(), Height(), parent_window, nullptr,
                                     win::GetModuleHandleA(nullptr), nullptr);
  if (!window) {
    const DWORD error = win::GetLastError();
    throw EOSError(error, "Error creating window for control '" + Name() + "'");
  }
  handle_ = window;
  win::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  default_proc_ = reinterpret_cast<WNDPROC>(
      win::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StdWndProc)));
}

void TWinControl::DestroyHandle() {
  if (!handle_) return;
  // The window outlives this object by a few messages: let them go to the class's own procedure.
  win::SetWindowLongPtrA(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(default_proc_));
  win::SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
  win::DestroyWindow(handle_);
  handle_ = nullptr;
}

LRESULT CALLBACK TWinControl::StdWndProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* control = reinterpret_cast<TWinControl*>(win::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!control) return win::DefWindowProcA(window, msg, wparam, lparam);
  TMessage message{msg, wparam, lparam, 0};
  // No exception may cross into Windows: what a handler raises is reported, and the loop goes on.
  try {
    control->WindowProc(message);
  } catch (const std::exception& error) {
    ReportException(error);
  }
  return message.Result;
}

std::string TMemo::Text() {
  if (!HandleAllocated()) return {};
  const auto length = static_cast<size_t>(win::SendMessageA(Handle(), WM_GETTEXTLENGTH, 0, 0));
  std::string text(length + 1, '\0');
  const auto copied = static_cast<size_t>(
      win::SendMessageA(Handle(), WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data())));
  text.resize(std::min(copied, length));
  return text;
}

void TMemo::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.class_name = "EDIT";
  params.style |= WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL;
}

}  // namespace fw
