// Controls: visual components, and windowed controls that own a window made lazily through
// the seam. A windowed control subclasses its window so that every message goes through its
// replaceable WindowProc first, and on to the window class's own procedure after.
#pragma once

#include <string>
#include <vector>

#include "framework/component.h"
#include "framework/method.h"
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
using TNotifyEvent = Method<TObject*>;

class TWinControl;

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner) : TComponent(owner) {}
  ~TControl() override;

  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* parent);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetBounds(int left, int top, int width, int height);

 private:
  TWinControl* parent_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
};

/// What a windowed control asks of CreateWindowExA.
struct TCreateParams {
  std::string class_name;
  std::string caption;
  DWORD style = 0;
  DWORD ex_style = 0;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;

  /// The control's window, made on first use. A child control without a parent raises
  /// EInvalidOperation; a window that Windows refuses raises EOSError.
  HWND Handle();
  bool HandleAllocated() const { return handle_ != nullptr; }

  /// Every message of the window reaches this method first. Replace it to intercept
  /// messages; hand what you do not keep to the method that was there before.
  TWndMethod WindowProc;

  /// Sends a message to WindowProc directly, without Windows.
  LRESULT Perform(UINT msg, WPARAM wparam, LPARAM lparam);

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const;

 protected:
  virtual void CreateParams(TCreateParams& params);
  /// The control's own handling; the default hands the message to the window class.
  virtual void WndProc(TMessage& message);
  void DefaultHandler(TMessage& message);

 private:
  friend class TControl;
  static LRESULT CALLBACK StdWndProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
  void CreateHandle();
  void DestroyHandle();

  HWND handle_ = nullptr;
  WNDPROC default_proc_ = nullptr;
  std::vector<TControl*> controls_;
};

/// A multi-line edit control: the kind of text control a terminal link writes into.
class TMemo : public TWinControl {
 public:
  using TWinControl::TWinControl;
  /// The text that the control's window holds now (empty before it has one).
  std::string Text();

 protected:
  void CreateParams(TCreateParams& params) override;
};

}  // namespace fw
