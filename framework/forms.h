// Forms: top-level windows of a window class of the framework's own, which hold the controls
// and answer their colour questions, and which a stored layout scales from the resolution it
// was made at to the screen's.
#pragma once

#include <cstdint>

#include "framework/controls.h"

namespace fw {

enum TPosition : std::uint8_t { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter };
enum TFormBorderStyle : std::uint8_t { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TCloseAction : std::uint8_t { caNone, caHide };

using TCloseEvent = Method<TObject*, TCloseAction&>;

class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* owner);

  /// Makes the window if need be and shows it.
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  /// What the close box does: OnClose may keep the form open (caNone); otherwise it is
  /// hidden, or, for the application's main form, the application ends.
  void Close();

  /// Where the window comes up: as stored, where Windows likes, or centred on the screen.
  TPosition Position() const { return position_; }
  void SetPosition(TPosition position) { position_ = position; }
  TFormBorderStyle BorderStyle() const { return border_style_; }
  /// A new border takes a new window.
  void SetBorderStyle(TFormBorderStyle style);

  /// The resolution the form's positions, sizes and font heights are given for.
  int PixelsPerInch() const { return pixels_per_inch_; }
  void SetPixelsPerInch(int dpi) { pixels_per_inch_ = dpi; }
  /// Whether ScaleToScreen scales at all.
  bool Scaled() const { return scaled_; }
  void SetScaled(bool scaled) { scaled_ = scaled; }
  /// Scales the form and everything on it from PixelsPerInch to the screen's resolution,
  /// which PixelsPerInch is afterwards.
  void ScaleToScreen();
  /// Position and size, each scaled on its own; the controls on it by their edges.
  void ChangeScale(int m, int d) override;

  TNotifyEvent OnCreate;
  TCloseEvent OnClose;
  /// The form is built: raises OnCreate.
  virtual void DoCreate();

  void Loaded() override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void WndProc(TMessage& message) override;
  void VisibleChanged() override;

 private:
  friend class TApplication;

  TPosition position_ = poDesigned;
  TFormBorderStyle border_style_ = bsSizeable;
  int pixels_per_inch_ = 96;
  bool scaled_ = true;
  bool main_form_ = false;
};

}  // namespace fw
