#include "framework/controls.h"

#include <algorithm>
#include <cstdint>

#include "framework/exception.h"
#include "framework/report.h"
#include "platform/system_library.h"

namespace fw {

TControl::TControl(TComponent* owner) : TComponent(owner) {
  font_.OnChange = TNotifyEvent::Of<&TControl::FontChange>(this);
}

TControl::~TControl() {
  font_.OnChange = {};
  SetParent(nullptr);
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  if (parent_) {
    std::erase(parent_->controls_, this);
    std::erase_if(parent_->tab_list_, [this](TWinControl* each) { return static_cast<TControl*>(each) == this; });
  }
  parent_ = parent;
  if (!parent_) return;
  parent_->controls_.push_back(this);
  if (parent_font_) TakeParentFont();
  if (parent_color_) TakeParentColor();
}

void TControl::SetBounds(int left, int top, int width, int height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  BoundsChanged();
}

void TControl::SetCaption(std::string caption) {
  if (caption == caption_) return;
  caption_ = std::move(caption);
  CaptionChanged();
}

void TControl::FontChange(TObject*) {
  if (!taking_parent_font_) parent_font_ = false;
  FontChanged();
}

void TControl::TakeParentFont() {
  if (!parent_) return;
  taking_parent_font_ = true;
  try {
    font_.Assign(parent_->Font());
  } catch (...) {
    taking_parent_font_ = false;
    throw;
  }
  taking_parent_font_ = false;
}

void TControl::SetParentFont(bool parent_font) {
  parent_font_ = parent_font;
  if (parent_font_) TakeParentFont();
}

void TControl::SetColor(TColor color) {
  parent_color_ = false;
  if (color == color_) return;
  color_ = color;
  ColorChanged();
}

void TControl::TakeParentColor() {
  if (!parent_ || parent_->color_ == color_) return;
  color_ = parent_->color_;
  ColorChanged();
}

void TControl::SetParentColor(bool parent_color) {
  parent_color_ = parent_color;
  if (parent_color_) TakeParentColor();
}

void TControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  VisibleChanged();
}

void TControl::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  EnabledChanged();
}

void TControl::ChangeScale(int m, int d) {
  const int left = ScaleSaturated(left_, m, d), top = ScaleSaturated(top_, m, d);
  const int right = ScaleSaturated(std::int64_t{left_} + width_, m, d);
  const int bottom = ScaleSaturated(std::int64_t{top_} + height_, m, d);
  SetBounds(left, top, SaturatedInt(std::int64_t{right} - left), SaturatedInt(std::int64_t{bottom} - top));
  if (!parent_font_) font_.SetHeight(ScaleSaturated(font_.Height(), m, d));
}

TWinControl::TWinControl(TComponent* owner)
    : TControl(owner), WindowProc(TWndMethod::Of<&TWinControl::WndProc>(this)) {
  brush_.SetColor(Color());
}

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

int TWinControl::TabOrder() const {
  if (!Parent()) return -1;
  const auto& list = Parent()->tab_list_;
  return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

void TWinControl::SetTabOrder(int order) {
  if (IsLoading()) {
    stored_tab_order_ = order;
    return;
  }
  if (!Parent()) return;
  auto& list = Parent()->tab_list_;
  std::erase(list, this);
  const auto place = static_cast<size_t>(std::clamp(order, 0, static_cast<int>(list.size())));
  list.insert(list.begin() + static_cast<std::ptrdiff_t>(place), this);
  PlaceInZOrder();
}

// Windows moves the focus with Tab in the Z order of the windows: keep it the tab order.
void TWinControl::PlaceInZOrder() {
  if (!handle_ || !Parent()) return;
  const auto& list = Parent()->tab_list_;
  HWND after = HWND_TOP;
  for (TWinControl* sibling : list) {
    if (sibling == this) break;
    if (sibling->handle_) after = sibling->handle_;
  }
  win::SetWindowPos(handle_, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TWinControl::SetTabStop(bool tab_stop) {
  if (tab_stop == tab_stop_) return;
  tab_stop_ = tab_stop;
  if (!handle_) return;
  const auto style = static_cast<DWORD>(win::GetWindowLongPtrA(handle_, GWL_STYLE));
  win::SetWindowLongPtrA(handle_, GWL_STYLE, static_cast<LONG>(tab_stop_ ? style | WS_TABSTOP : style & ~WS_TABSTOP));
}

void TWinControl::SetParent(TWinControl* parent) {
  if (parent == Parent()) return;
  // A window cannot follow its control into another parent: make a new one there.
  DestroyHandle();
  TControl::SetParent(parent);
  if (parent) parent->tab_list_.push_back(this);
  if (parent && parent->HandleAllocated()) Handle();
}

void TWinControl::Loaded() {
  TComponent::Loaded();
  // The children's stored places, each as it was written; the others keep their turn.
  std::vector<TWinControl*> list = tab_list_;
  std::stable_sort(list.begin(), list.end(), [this](TWinControl* a, TWinControl* b) {
    auto key = [this](TWinControl* each) {
      return each->stored_tab_order_ >= 0
                 ? each->stored_tab_order_
                 : static_cast<int>(std::find(tab_list_.begin(), tab_list_.end(), each) - tab_list_.begin());
    };
    return key(a) < key(b);
  });
  tab_list_ = std::move(list);
  for (TWinControl* child : tab_list_) {
    child->stored_tab_order_ = -1;
    child->PlaceInZOrder();
  }
}

void TWinControl::ChangeScale(int m, int d) {
  TControl::ChangeScale(m, d);
  for (TControl* child : controls_) child->ChangeScale(m, d);
}

void TWinControl::CreateParams(TCreateParams& params) {
  params.style = WS_CHILD | WS_CLIPSIBLINGS;
  if (Visible()) params.style |= WS_VISIBLE;
  if (!Enabled()) params.style |= WS_DISABLED;
  if (tab_stop_) params.style |= WS_TABSTOP;
}

void TWinControl::HandleCreated() {
  win::SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(Font().Handle(FormShared().fonts)), FALSE);
}

TFormShared& TWinControl::FormShared() {
  TWinControl* root = this;
  while (root->Parent()) root = root->Parent();
  if (!root->form_shared_) root->form_shared_ = std::make_unique<TFormShared>();
  return *root->form_shared_;
}

void TThemeLibrary::KeepClassicLook(HWND window) {
  if (!tried_) {
    tried_ = true;
    module_ = platform::LoadSystemLibrary("uxtheme.dll");
    if (module_) {
      set_theme_ = reinterpret_cast<SetWindowThemeProc>(
          reinterpret_cast<void*>(win::GetProcAddress(module_.get(), "SetWindowTheme")));
    }
  }
  if (set_theme_) set_theme_(window, L"", L"");
}

void TWinControl::WndProc(TMessage& message) {
  switch (message.Msg) {
    case WM_COMMAND:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      if (TWinControl* child = FindChild(reinterpret_cast<HWND>(message.LParam))) {
        message.Result = child->Perform(CN_BASE + message.Msg, message.WParam, message.LParam);
        return;
      }
      break;
    case CN_CTLCOLORMSGBOX:
    case CN_CTLCOLOREDIT:
    case CN_CTLCOLORLISTBOX:
    case CN_CTLCOLORBTN:
    case CN_CTLCOLORDLG:
    case CN_CTLCOLORSCROLLBAR:
    case CN_CTLCOLORSTATIC: {
      auto dc = reinterpret_cast<HDC>(message.WParam);
      win::SetTextColor(dc, ColorToRGB(Font().Color()));
      win::SetBkColor(dc, ColorToRGB(Color()));
      message.Result = reinterpret_cast<LRESULT>(Brush().Handle());
      return;
    }
    case CN_COMMAND: return;
    case WM_DESTROY:
      // Destroyed from outside (with its parent, or closed): keep what the window held.
      HandleDestroying();
      break;
    default: break;
  }
  DefaultHandler(message);
}

void TWinControl::DefaultHandler(TMessage& message) {
  message.Result = default_proc_ ? win::CallWindowProcA(default_proc_, handle_, message.Msg, message.WParam,
                                                        message.LParam)
                                 : win::DefWindowProcA(handle_, message.Msg, message.WParam, message.LParam);
}

void TWinControl::BoundsChanged() {
  if (handle_) win::SetWindowPos(handle_, nullptr, Left(), Top(), Width(), Height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWinControl::CaptionChanged() {
  if (handle_) win::SendMessageA(handle_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Caption().c_str()));
}

void TWinControl::FontChanged() {
  if (handle_) win::SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(Font().Handle(FormShared().fonts)), TRUE);
  for (TControl* child : controls_) {
    if (child->ParentFont()) child->TakeParentFont();
  }
}

void TWinControl::ColorChanged() {
  brush_.SetColor(Color());
  if (handle_) win::InvalidateRect(handle_, nullptr, TRUE);
  for (TControl* child : controls_) {
    if (child->ParentColor()) child->TakeParentColor();
  }
}

void TWinControl::VisibleChanged() {
  if (handle_) win::ShowWindow(handle_, Visible() ? SW_SHOW : SW_HIDE);
}

void TWinControl::EnabledChanged() {
  if (handle_) win::EnableWindow(handle_, Enabled());
}

TWinControl* TWinControl::FindChild(HWND window) const {
  if (!window) return nullptr;
  for (TWinControl* child : tab_list_) {
    if (child->handle_ == window) return child;
  }
  return nullptr;
}

void TWinControl::RegisterOwnClass(const std::string& name) {
  WNDCLASSA window_class{};
  window_class.style = CS_DBLCLKS;
  window_class.lpfnWndProc = &StdWndProc;
  window_class.hInstance = win::GetModuleHandleA(nullptr);
  // The program's own icon in the title bar and the task bar; without one, Windows' default.
  window_class.hIcon = win::LoadIconA(window_class.hInstance, kMainIcon);
  window_class.hCursor = win::LoadCursorA(nullptr, IDC_ARROW);
  window_class.lpszClassName = name.c_str();
  // Registered once per program; later windows of the class find it there.
  if (!win::RegisterClassA(&window_class) && win::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    throw EOSError(win::GetLastError(), "Error registering window class '" + name + "'");
  }
}

void TWinControl::CreateHandle() {
  TCreateParams params{{}, Caption(), 0, 0, Left(), Top(), Width(), Height(), false};
  CreateParams(params);
  HWND parent_window = nullptr;
  if (params.style & WS_CHILD) {
    if (!Parent()) throw EInvalidOperation("Control '" + Name() + "' has no parent window");
    parent_window = Parent()->Handle();
    // Making the parent's window made its children's, this one's among them.
    if (handle_) return;
  }
  if (params.own_class) RegisterOwnClass(params.class_name);
  HWND window = win::CreateWindowExA(params.ex_style, params.class_name.c_str(), params.caption.c_str(),
                                     params.style, params.x, params.y, params.width, params.height, parent_window,
                                     nullptr, win::GetModuleHandleA(nullptr), this);
  if (!window) {
    const DWORD error = win::GetLastError();
    handle_ = nullptr;
    throw EOSError(error, "Error creating window for control '" + Name() + "'");
  }
  if (!handle_) {
    // A class of Windows' own: its procedure stays behind ours.
    handle_ = window;
    win::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    default_proc_ = reinterpret_cast<WNDPROC>(
        win::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StdWndProc)));
  }
  HandleCreated();
  for (TWinControl* child : std::vector<TWinControl*>(tab_list_)) child->Handle();
}

void TWinControl::RecreateWnd() {
  if (!handle_) return;
  DestroyHandle();
  Handle();
  PlaceInZOrder();
}

void TWinControl::DestroyHandle() {
  if (!handle_) return;
  for (TWinControl* child : tab_list_) child->DestroyHandle();
  HandleDestroying();
  HWND window = handle_;
  // The window outlives this object by a few messages: let them go to the class's own procedure.
  if (default_proc_) win::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(default_proc_));
  win::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  handle_ = nullptr;
  default_proc_ = nullptr;
  win::DestroyWindow(window);
}

LRESULT CALLBACK TWinControl::StdWndProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* control = reinterpret_cast<TWinControl*>(win::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!control && msg == WM_NCCREATE) {
    // A window of our own class learns its control from the creation parameters.
    control = static_cast<TWinControl*>(reinterpret_cast<const CREATESTRUCTA*>(lparam)->lpCreateParams);
    if (control) {
      control->handle_ = window;
      win::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(control));
    }
  }
  if (!control) return win::DefWindowProcA(window, msg, wparam, lparam);
  TMessage message{msg, wparam, lparam, 0};
  // No exception may cross into Windows: what a handler raises is reported, and the loop goes on.
  try {
    control->WindowProc(message);
  } catch (const std::exception& error) {
    ReportException(error);
  } catch (...) {
    ReportException(Exception("An exception that is no std::exception reached a window procedure"));
  }
  if (msg == WM_NCDESTROY) {
    // The window is gone; the control makes a new one when it needs one.
    control->handle_ = nullptr;
    control->default_proc_ = nullptr;
  }
  return message.Result;
}

TMemo::TMemo(TComponent* owner) : TWinControl(owner) {
  SetColor(clWindow);
  SetTabStop(true);
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
  params.style |= ES_MULTILINE | ES_AUTOVSCROLL;
}

}  // namespace fw
