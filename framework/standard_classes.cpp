// The framework's own classes as layouts know them.
#include "framework/forms.h"
#include "framework/layout_classes.h"
#include "framework/stdctrls.h"

namespace fw {

namespace {

TFontStyles FontStyles(const LayoutValue& value) {
  TFontStyles styles = 0;
  for (const LayoutValue& item : value.SetItems()) {
    const std::string& name = item.Name();
    if (SameText(name, "fsBold")) {
      styles |= fsBold;
    } else if (SameText(name, "fsItalic")) {
      styles |= fsItalic;
    } else if (SameText(name, "fsUnderline")) {
      styles |= fsUnderline;
    } else if (SameText(name, "fsStrikeOut")) {
      styles |= fsStrikeOut;
    } else {
      throw EBadValue("expected fsBold, fsItalic, fsUnderline or fsStrikeOut, found " + name);
    }
  }
  return styles;
}

DWORD Charset(const LayoutValue& value) {
  if (value.kind == LayoutValue::Kind::kInteger) return value.IntegerAs<BYTE>();
  static constexpr std::pair<const char*, DWORD> kNames[] = {
      {"ANSI_CHARSET", 0},     {"DEFAULT_CHARSET", 1},      {"SYMBOL_CHARSET", 2},  {"SHIFTJIS_CHARSET", 128},
      {"HANGEUL_CHARSET", 129}, {"GB2312_CHARSET", 134},    {"CHINESEBIG5_CHARSET", 136},
      {"OEM_CHARSET", 255},    {"GREEK_CHARSET", 161},      {"TURKISH_CHARSET", 162}, {"HEBREW_CHARSET", 177},
      {"ARABIC_CHARSET", 178}, {"BALTIC_CHARSET", 186},     {"RUSSIAN_CHARSET", 204}, {"THAI_CHARSET", 222},
      {"EASTEUROPE_CHARSET", 238}};
  for (const auto& [name, charset] : kNames) {
    if (SameText(name, value.Name())) return charset;
  }
  throw EBadValue("expected a character set (DEFAULT_CHARSET, ANSI_CHARSET, ...), found " + value.Written());
}

}  // namespace

void RegisterStandardClasses(ClassRegistry& classes) {
  classes.Declare<TComponent>("TComponent").Integer("Tag", &TComponent::SetTag);

  classes.Declare<TControl, TComponent>("TControl")
      .Integer("Left", &TControl::SetLeft)
      .Integer("Top", &TControl::SetTop)
      .Integer("Width", &TControl::SetWidth)
      .Integer("Height", &TControl::SetHeight)
      .String("Caption", &TControl::SetCaption)
      .Color("Color", &TControl::SetColor)
      .Boolean("ParentColor", &TControl::SetParentColor)
      .Boolean("ParentFont", &TControl::SetParentFont)
      .Boolean("Visible", &TControl::SetVisible)
      .Boolean("Enabled", &TControl::SetEnabled)
      .Custom("Font.Name", [](TControl& control, const LayoutValue& value) { control.Font().SetName(value.String()); })
      .Custom("Font.Height",
              [](TControl& control, const LayoutValue& value) { control.Font().SetHeight(value.IntegerAs<int>()); })
      .Custom("Font.Size",
              [](TControl& control, const LayoutValue& value) { control.Font().SetSize(value.IntegerAs<int>()); })
      .Custom("Font.Color", [](TControl& control, const LayoutValue& value) { control.Font().SetColor(value.Color()); })
      .Custom("Font.Charset",
              [](TControl& control, const LayoutValue& value) { control.Font().SetCharset(Charset(value)); })
      .Custom("Font.Style",
              [](TControl& control, const LayoutValue& value) { control.Font().SetStyle(FontStyles(value)); });

  classes.Declare<TWinControl, TControl>("TWinControl")
      .Integer("TabOrder", &TWinControl::SetTabOrder)
      .Boolean("TabStop", &TWinControl::SetTabStop);

  classes.Register<TForm, TWinControl>("TForm")
      .Enum("Position", &TForm::SetPosition,
            {{"poDesigned", poDesigned},
             {"poDefault", poDefault},
             {"poDefaultPosOnly", poDefaultPosOnly},
             {"poDefaultSizeOnly", poDefaultSizeOnly},
             {"poScreenCenter", poScreenCenter}})
      .Enum("BorderStyle", &TForm::SetBorderStyle,
            {{"bsNone", bsNone},
             {"bsSingle", bsSingle},
             {"bsSizeable", bsSizeable},
             {"bsDialog", bsDialog},
             {"bsToolWindow", bsToolWindow},
             {"bsSizeToolWin", bsSizeToolWin}})
      .Custom("PixelsPerInch",
              [](TForm& form, const LayoutValue& value) {
                // Scaling divides by it.
                const int dpi = value.IntegerAs<int>();
                if (dpi <= 0) throw EBadValue("a resolution is at least 1 pixel per inch, found " + value.Written());
                form.SetPixelsPerInch(dpi);
              })
      .Boolean("Scaled", &TForm::SetScaled)
      .Event("OnCreate", &TForm::OnCreate)
      .Event("OnClose", &TForm::OnClose);

  classes.Register<TCheckBox, TWinControl>("TCheckBox")
      .Boolean("Checked", &TCheckBox::SetChecked)
      .Enum("State", &TCheckBox::SetState, {{"cbUnchecked", cbUnchecked}, {"cbChecked", cbChecked}, {"cbGrayed", cbGrayed}})
      .Boolean("AllowGrayed", &TCheckBox::SetAllowGrayed)
      .Enum("Alignment", &TCheckBox::SetAlignment, {{"taLeftJustify", taLeftJustify}, {"taRightJustify", taRightJustify}})
      .Event("OnClick", &TCheckBox::OnClick);

  classes.Register<TGroupBox, TWinControl>("TGroupBox");

  classes.Register<TButton, TWinControl>("TButton")
      .Boolean("Default", &TButton::SetDefault)
      .Event("OnClick", &TButton::OnClick);

  classes.Declare<TCustomComboBox, TWinControl>("TCustomComboBox")
      .Enum("Style", &TCustomComboBox::SetStyle,
            {{"csDropDown", csDropDown}, {"csSimple", csSimple}, {"csDropDownList", csDropDownList}})
      .Integer("ItemHeight", &TCustomComboBox::SetItemHeight)
      .Integer("ItemIndex", &TCustomComboBox::SetItemIndex)
      .Integer("DropDownCount", &TCustomComboBox::SetDropDownCount)
      .String("Text", &TCustomComboBox::SetText)
      .Custom("Items.Strings",
              [](TCustomComboBox& combo, const LayoutValue& value) {
                const std::vector<LayoutValue>& items = value.ListItems();
                combo.Items().Clear();
                for (const LayoutValue& item : items) combo.Items().Add(item.String());
              })
      .Event("OnChange", &TCustomComboBox::OnChange);

  classes.Register<TComboBox, TCustomComboBox>("TComboBox");
  classes.Register<TMemo, TWinControl>("TMemo");
}

}  // namespace fw
