#include "app/Unit1.h"

#include <string>

#include "app/classes.h"

namespace {

// The pin boxes by pin number: CheckBox2 shows pin 1.
constexpr fw::TCheckBox* TForm1::*kPinBoxes[] = {
    &TForm1::CheckBox2,  &TForm1::CheckBox3,  &TForm1::CheckBox4,  &TForm1::CheckBox5,  &TForm1::CheckBox6,
    &TForm1::CheckBox7,  &TForm1::CheckBox8,  &TForm1::CheckBox9,  &TForm1::CheckBox10, &TForm1::CheckBox11,
    &TForm1::CheckBox12, &TForm1::CheckBox13, &TForm1::CheckBox14, &TForm1::CheckBox15, &TForm1::CheckBox16,
    &TForm1::CheckBox17, &TForm1::CheckBox18, &TForm1::CheckBox19, &TForm1::CheckBox20, &TForm1::CheckBox21,
    &TForm1::CheckBox22, &TForm1::CheckBox23, &TForm1::CheckBox24, &TForm1::CheckBox25, &TForm1::CheckBox26,
};

fw::ClassRegistry Classes() {
  fw::ClassRegistry classes;
  RegisterPinscopeClasses(classes);
  classes.Declare<TForm1, fw::TForm>("TForm1");  // the program makes the window itself
  return classes;
}

}  // namespace

TForm1::TForm1(fw::TComponent* owner) : fw::TForm(owner) {
  fw::LoadLayoutFromResource(kForm1Layout, *this, Classes(), Bindings());
}

TForm1::TForm1(fw::TComponent* owner, std::string_view layout) : fw::TForm(owner) {
  fw::LoadLayout(layout, *this, Classes(), Bindings());
}

fw::LayoutBindings TForm1::Bindings() {
  fw::LayoutBindings bindings;
  bindings.Field("CheckBox1", CheckBox1)
      .Field("vlLPT1", vlLPT1)
      .Field("vlDeviceBox1", vlDeviceBox1)
      .Field("boxPins", boxPins)
      .Field("Button1", Button1)
      .Handler<&TForm1::CheckBox1Click>("CheckBox1Click", this)
      .Handler<&TForm1::CheckBox2Click>("CheckBox2Click", this)
      .Handler<&TForm1::Button1Click>("Button1Click", this)
      .Handler<&TForm1::CheckBox19Click>("CheckBox19Click", this);
  for (std::size_t i = 0; i < std::size(kPinBoxes); ++i) {
    bindings.Field("CheckBox" + std::to_string(i + 2), this->*kPinBoxes[i]);
  }
  return bindings;
}

void TForm1::CheckBox1Click(fw::TObject* sender) {
  try {
    vlLPT1->SetActive(CheckBox1->Checked());
    Button1Click(sender);
  } catch (...) {
    // Putting the box back runs this handler once more when the state changes; what that
    // run raises would only repeat the failure being reported, so the first one goes on.
    try {
      CheckBox1->SetChecked(vlLPT1->GetActive());
    } catch (...) {
    }
    throw;
  }
}

void TForm1::CheckBox2Click(fw::TObject* sender) {
  if (auto* box = dynamic_cast<fw::TCheckBox*>(sender)) vlLPT1->SetPin(box->Tag(), box->Checked());
}

void TForm1::Button1Click(fw::TObject*) {
  const int count = boxPins->ControlCount();
  for (int i = 0; i < count; ++i) {
    fw::TControl* control = boxPins->Controls(i);
    if (control->Tag() == 0) continue;
    if (auto* box = dynamic_cast<fw::TCheckBox*>(control)) box->SetChecked(vlLPT1->GetPin(control->Tag()));
  }
}

void TForm1::CheckBox19Click(fw::TObject* sender) {
  if (auto* box = dynamic_cast<fw::TCheckBox*>(sender)) box->SetState(fw::cbGrayed);
}
