// Controls: visual components, and windowed controls that own a window made lazily through
// the seam. A windowed control subclasses its window so that every message goes through its
// replaceable WindowProc first, and on to the window class's own procedure after. What a
// control's window tells its parent (WM_COMMAND notifications, WM_CTLCOLOR* questions) the
// parent hands back to the control as a CN_ message, so each control handles its own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/component.h"
#include "framework/graphics.h"
#include "framework/method.h"
#include "platform/unique_handle.h"
#include "platform/win32.h"

namespace fw {

/// A window message as the framework hands it to window methods.
struct TMessage {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  LRESULT Result;
};

using TWndMethod = Method<TMessage&>;

/// The name of the program's icon resource (an RT_GROUP_ICON): its own windows' classes carry it.
inline constexpr const char* kMainIcon = "MAINICON";

/// The messages a parent reflects to the child control that they concern: CN_BASE plus the
/// original message, with the same parameters.
constexpr UINT CN_BASE = 0xBC00;
constexpr UINT CN_COMMAND = CN_BASE + WM_COMMAND;
constexpr UINT CN_CTLCOLORMSGBOX = CN_BASE + WM_CTLCOLORMSGBOX;
constexpr UINT CN_CTLCOLOREDIT = CN_BASE + WM_CTLCOLOREDIT;
constexpr UINT CN_CTLCOLORLISTBOX = CN_BASE + WM_CTLCOLORLISTBOX;
constexpr UINT CN_CTLCOLORBTN = CN_BASE + WM_CTLCOLORBTN;
constexpr UINT CN_CTLCOLORDLG = CN_BASE + WM_CTLCOLORDLG;
constexpr UINT CN_CTLCOLORSCROLLBAR = CN_BASE + WM_CTLCOLORSCROLLBAR;
constexpr UINT CN_CTLCOLORSTATIC = CN_BASE + WM_CTLCOLORSTATIC;

class TWinControl;

/// The theme library (uxtheme), loaded on first need; systems before visual styles have none.
class TThemeLibrary {
 public:
  /// Turns visual styles off for one window, where the system has them.
  void KeepClassicLook(HWND window);

 private:
  using SetWindowThemeProc = LONG(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
  bool tried_ = false;
  platform::UniqueModule module_;
  SetWindowThemeProc set_theme_ = nullptr;
};

/// What the controls of one form make once between them rather than once each.
struct TFormShared {
  TFontCache fonts;
  TThemeLibrary theme;
};

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* parent);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetBounds(int left, int top, int width, int height);
  void SetLeft(int left) { SetBounds(left, top_, width_, height_); }
  void SetTop(int top) { SetBounds(left_, top, width_, height_); }
  void SetWidth(int width) { SetBounds(left_, top_, width, height_); }
  void SetHeight(int height) { SetBounds(left_, top_, width_, height); }

  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);

  /// The control's font. Changing it makes the control stop following its parent's font.
  TFont& Font() { return font_; }
  const TFont& Font() const { return font_; }
  /// Following the parent's font: takes it now and whenever it changes.
  bool ParentFont() const { return parent_font_; }
  void SetParentFont(bool parent_font);

  TColor Color() const { return color_; }
  /// Setting a colour makes the control stop following its parent's.
  void SetColor(TColor color);
  bool ParentColor() const { return parent_color_; }
  void SetParentColor(bool parent_color);

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  /// Scales position, size and, unless it follows its parent's, the font height by m/d: from
  /// the resolution a layout was made at to the screen's. Edges are scaled rather than
  /// sizes, so that controls that touched before still touch.
  virtual void ChangeScale(int m, int d);

 protected:
  virtual void BoundsChanged() {}
  virtual void CaptionChanged() {}
  virtual void FontChanged() {}
  virtual void ColorChanged() {}
  virtual void VisibleChanged() {}
  virtual void EnabledChanged() {}

 private:
  friend class TWinControl;
  void FontChange(TObject* sender);
  void TakeParentFont();
  void TakeParentColor();

  TWinControl* parent_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  std::string caption_;
  TFont font_;
  bool parent_font_ = true;
  bool taking_parent_font_ = false;
  TColor color_ = clWindow;
  bool parent_color_ = true;
  bool visible_ = true;
  bool enabled_ = true;
};

/// What a windowed control asks of CreateWindowExA. Position, size and caption come filled
/// in from the control; `own_class` asks for a window class of the framework's own, whose
/// procedure hands every message to the control from the first (WM_NCCREATE) on.
struct TCreateParams {
  std::string class_name;
  std::string caption;
  DWORD style = 0;
  DWORD ex_style = 0;
  int x = 0, y = 0, width = 0, height = 0;
  bool own_class = false;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;

  /// The control's window, made on first use, and with it the windows of its child controls
  /// in tab order. A child control without a parent raises EInvalidOperation; a window that
  /// Windows refuses raises EOSError.
  HWND Handle();
  bool HandleAllocated() const { return handle_ != nullptr; }
  /// Destroys the window (and its children's); the control keeps its state and makes a new
  /// window when one is next needed.
  void DestroyHandle();

  /// Every message of the window reaches this method first. Replace it to intercept
  /// messages; hand what you do not keep to the method that was there before.
  TWndMethod WindowProc;

  /// Sends a message to WindowProc directly, without Windows.
  LRESULT Perform(UINT msg, WPARAM wparam, LPARAM lparam);

  /// Child controls in the order they were put in.
  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const;

  /// The place among the parent's windowed children that Tab moves through, from 0. While
  /// loading, the stored value waits until the parent is loaded, when all its children's
  /// places are known.
  int TabOrder() const;
  void SetTabOrder(int order);
  bool TabStop() const { return tab_stop_; }
  void SetTabStop(bool tab_stop);

  /// The brush of the control's background, in its Color.
  TBrush& Brush() { return brush_; }

  void SetParent(TWinControl* parent) override;
  void Loaded() override;
  void ChangeScale(int m, int d) override;

 protected:
  virtual void CreateParams(TCreateParams& params);
  /// The window exists: hand it what the control kept meanwhile.
  virtual void HandleCreated();
  /// The window is about to go: keep what only the window held.
  virtual void HandleDestroying() {}
  /// The control's own handling; the default hands the message to the window class.
  virtual void WndProc(TMessage& message);
  void DefaultHandler(TMessage& message);
  /// The window if there is one, without making it.
  HWND HandleIfAllocated() const { return handle_; }
  /// Replaces the window, for a change that only a new one can show.
  void RecreateWnd();
  /// Held by the control without a parent (the form) for all the controls on it; it outlives
  /// their windows, which the form's destruction takes first.
  TFormShared& FormShared();

  void BoundsChanged() override;
  void CaptionChanged() override;
  void FontChanged() override;
  void ColorChanged() override;
  void VisibleChanged() override;
  void EnabledChanged() override;

 private:
  friend class TControl;
  static LRESULT CALLBACK StdWndProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
  static void RegisterOwnClass(const std::string& name);
  void CreateHandle();
  TWinControl* FindChild(HWND window) const;
  void PlaceInZOrder();

  HWND handle_ = nullptr;
  WNDPROC default_proc_ = nullptr;
  std::vector<TControl*> controls_;
  std::vector<TWinControl*> tab_list_;
  int stored_tab_order_ = -1;
  bool tab_stop_ = false;
  TBrush brush_;
  std::unique_ptr<TFormShared> form_shared_;
};

/// A multi-line edit control: the kind of text control a terminal link writes into.
class TMemo : public TWinControl {
 public:
  explicit TMemo(TComponent* owner);
  /// The text that the control's window holds now (empty before it has one).
  std::string Text();

 protected:
  void CreateParams(TCreateParams& params) override;
};

}  // namespace fw
