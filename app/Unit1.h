// The pin panel: one window with the 25 pins of a parallel port's connector as check boxes,
// a switch for the port, the port list and a Refresh button. Every component comes from the
// window's stored layout.
#pragma once

#include <string_view>

#include "framework/forms.h"
#include "framework/layout_loader.h"
#include "framework/stdctrls.h"
#include "lib/vlcommbox.h"
#include "lib/vllpt.h"

/// The name of the program's resource that holds the window's layout.
inline constexpr char kForm1Layout[] = "TFORM1";

class TForm1 : public fw::TForm {
 public:
  /// Builds the window from the program's layout resource.
  explicit TForm1(fw::TComponent* owner);
  /// Builds the window from the given layout text.
  TForm1(fw::TComponent* owner, std::string_view layout);

  fw::TCheckBox* CheckBox1 = nullptr;
  TvlLPT* vlLPT1 = nullptr;
  TvlDeviceBox* vlDeviceBox1 = nullptr;
  fw::TGroupBox* boxPins = nullptr;
  fw::TCheckBox* CheckBox2 = nullptr;
  fw::TCheckBox* CheckBox3 = nullptr;
  fw::TCheckBox* CheckBox4 = nullptr;
  fw::TCheckBox* CheckBox5 = nullptr;
  fw::TCheckBox* CheckBox6 = nullptr;
  fw::TCheckBox* CheckBox7 = nullptr;
  fw::TCheckBox* CheckBox8 = nullptr;
  fw::TCheckBox* CheckBox9 = nullptr;
  fw::TCheckBox* CheckBox10 = nullptr;
  fw::TCheckBox* CheckBox11 = nullptr;
  fw::TCheckBox* CheckBox12 = nullptr;
  fw::TCheckBox* CheckBox13 = nullptr;
  fw::TCheckBox* CheckBox14 = nullptr;
  fw::TCheckBox* CheckBox15 = nullptr;
  fw::TCheckBox* CheckBox16 = nullptr;
  fw::TCheckBox* CheckBox17 = nullptr;
  fw::TCheckBox* CheckBox18 = nullptr;
  fw::TCheckBox* CheckBox19 = nullptr;
  fw::TCheckBox* CheckBox20 = nullptr;
  fw::TCheckBox* CheckBox21 = nullptr;
  fw::TCheckBox* CheckBox22 = nullptr;
  fw::TCheckBox* CheckBox23 = nullptr;
  fw::TCheckBox* CheckBox24 = nullptr;
  fw::TCheckBox* CheckBox25 = nullptr;
  fw::TCheckBox* CheckBox26 = nullptr;
  fw::TButton* Button1 = nullptr;

  /// "Active": switches the port and reads the pins. On failure the box shows whether the
  /// port is really open, and the error goes on to be reported.
  void CheckBox1Click(fw::TObject* sender);
  /// An output pin's box: drives the pin to the box's state.
  void CheckBox2Click(fw::TObject* sender);
  /// Refresh: reads every signal pin into its box, in pin order.
  void Button1Click(fw::TObject* sender);
  /// A ground pin's box: ground cannot change, so the box goes back to grayed.
  void CheckBox19Click(fw::TObject* sender);

 private:
  fw::LayoutBindings Bindings();
};
