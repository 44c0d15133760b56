#include "framework/forms.h"

#include <cstdint>

namespace fw {

TForm::TForm(TComponent* owner) : TWinControl(owner) {
  SetVisible(false);
  SetParentFont(false);
  SetColor(clBtnFace);
  SetBounds(0, 0, 320, 240);
}

void TForm::Close() {
  TCloseAction action = caHide;
  if (OnClose.Assigned()) OnClose(this, action);
  if (action == caNone) return;
  if (main_form_) {
    // The window stays until the application frees its forms after the loop.
    win::PostQuitMessage(0);
  } else {
    Hide();
  }
}

void TForm::SetBorderStyle(TFormBorderStyle style) {
  if (style == border_style_) return;
  border_style_ = style;
  RecreateWnd();
}

void TForm::ScaleToScreen() {
  if (!scaled_) return;
  const int screen = ScreenPixelsPerInch();
  if (screen != pixels_per_inch_) ChangeScale(screen, pixels_per_inch_);
  pixels_per_inch_ = screen;
}

void TForm::ChangeScale(int m, int d) {
  SetBounds(ScaleSaturated(Left(), m, d), ScaleSaturated(Top(), m, d), ScaleSaturated(Width(), m, d),
            ScaleSaturated(Height(), m, d));
  Font().SetHeight(ScaleSaturated(Font().Height(), m, d));
  for (int i = 0; i < ControlCount(); ++i) Controls(i)->ChangeScale(m, d);
}

void TForm::DoCreate() {
  if (OnCreate.Assigned()) OnCreate(this);
}

void TForm::Loaded() {
  TWinControl::Loaded();
  if (Visible()) VisibleChanged();
}

void TForm::CreateParams(TCreateParams& params) {
  params.class_name = "TPinscopeForm";
  params.own_class = true;
  switch (border_style_) {
    case bsNone: params.style = WS_POPUP; break;
    case bsSingle: params.style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX; break;
    case bsSizeable: params.style = WS_OVERLAPPEDWINDOW; break;
    case bsDialog:
      params.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
      params.ex_style = WS_EX_DLGMODALFRAME;
      break;
    case bsToolWindow:
      params.style = WS_CAPTION | WS_SYSMENU;
      params.ex_style = WS_EX_TOOLWINDOW;
      break;
    case bsSizeToolWin:
      params.style = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
      params.ex_style = WS_EX_TOOLWINDOW;
      break;
  }
  // The controls paint their own backgrounds; the form only what lies between them.
  params.style |= WS_CLIPCHILDREN;
  params.ex_style |= WS_EX_CONTROLPARENT;
  if (!Enabled()) params.style |= WS_DISABLED;
  switch (position_) {
    case poDesigned: break;
    case poDefault:
      params.x = params.y = params.width = params.height = CW_USEDEFAULT;
      break;
    case poDefaultPosOnly: params.x = params.y = CW_USEDEFAULT; break;
    case poDefaultSizeOnly: params.width = params.height = CW_USEDEFAULT; break;
    case poScreenCenter:
      // Half of an int's difference to another fits an int again.
      params.x = static_cast<int>((std::int64_t{win::GetSystemMetrics(SM_CXSCREEN)} - Width()) / 2);
      params.y = static_cast<int>((std::int64_t{win::GetSystemMetrics(SM_CYSCREEN)} - Height()) / 2);
      break;
  }
}

void TForm::WndProc(TMessage& message) {
  switch (message.Msg) {
    case WM_CLOSE:
      Close();
      message.Result = 0;
      return;
    case WM_ENDSESSION:
      // TRUE: the session ends, and the process with it, without the loop's end or a
      // destructor; FALSE: the end was called off.
      if (message.WParam) SessionEnding();
      message.Result = 0;
      return;
    case WM_ERASEBKGND: {
      RECT client{};
      win::GetClientRect(HandleIfAllocated(), &client);
      win::FillRect(reinterpret_cast<HDC>(message.WParam), &client, Brush().Handle());
      message.Result = 1;
      return;
    }
    case WM_DESTROY:
      TWinControl::WndProc(message);
      // However the main form's window goes, the application goes with it.
      if (main_form_) win::PostQuitMessage(0);
      return;
    default: TWinControl::WndProc(message);
  }
}

void TForm::VisibleChanged() {
  if (IsLoading()) return;  // shown once loaded
  if (Visible()) {
    win::ShowWindow(Handle(), SW_SHOW);
  } else if (HWND window = HandleIfAllocated()) {
    win::ShowWindow(window, SW_HIDE);
  }
}

}  // namespace fw
