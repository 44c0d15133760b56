// Stored layouts built on the simulated PC, with two classes registered from outside the
// framework the way the library registers its components.
#include "framework/layout_loader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/forms.h"
#include "testing/framework/raised.h"
#include "framework/stdctrls.h"
#include "sim/pc.h"

namespace fw {
namespace {

enum TPortNumber : std::uint8_t { lpLPT1, lpLPT2 };

// The form the layouts describe: its handlers, its fields and a log of what happened when.
class LayoutForm : public TForm {
 public:
  using TForm::TForm;
  std::vector<std::string> log;
  std::vector<std::string> clicks;
  TCheckBox* CheckBox1 = nullptr;
  class TPort* Port1 = nullptr;

  void CheckBox1Click(TObject* sender) { clicks.push_back(static_cast<TComponent*>(sender)->Name()); }
  void PinChanged(TObject*, int) {}
  void Loaded() override {
    TForm::Loaded();
    log.push_back(Name() + " loaded");
  }

  LayoutBindings Bindings() {
    LayoutBindings bindings;
    bindings.Handler<&LayoutForm::CheckBox1Click>("CheckBox1Click", this)
        .Handler<&LayoutForm::PinChanged>("PinChanged", this)
        .Field("CheckBox1", CheckBox1)
        .Field("Port1", Port1);
    return bindings;
  }
};

void Note(TComponent* component, const std::string& what) {
  if (auto* form = dynamic_cast<LayoutForm*>(component->Owner())) form->log.push_back(component->Name() + what);
}

// A port as the library has one: a non-visual component with stored properties.
class TPort : public TComponent {
 public:
  using TComponent::TComponent;
  void SetIOBase(std::uint16_t base) {
    io_base = base;
    Note(this, ".IOBase");
  }
  void SetPort(TPortNumber number) {
    port = number;
    Note(this, ".Port");
  }
  void SetActive(bool active) {
    // Stored while loading, acted on once loaded.
    stored_active = active;
    Note(this, IsLoading() ? ".Active stored" : ".Active");
  }
  void SetFail(int) { throw Exception("no such port"); }
  void Loaded() override {
    TComponent::Loaded();
    Note(this, " loaded");
    if (stored_active && io_base == 0) throw Exception("LPT2 has no base address");
  }

  std::uint16_t io_base = 0;
  TPortNumber port = lpLPT1;
  bool stored_active = false;
  bool LocalEcho = false;
  std::string LogPrefix;
  std::uint8_t Retries = 0;
  TNotifyEvent OnClosing;
};

// A device box that lists a port's devices: a combo box that refers to another component.
class TPortBox : public TCustomComboBox {
 public:
  using TCustomComboBox::TCustomComboBox;
  void SetPort(TPort* port) {
    port_ = port;
    Note(this, ".Port=" + (port ? port->Name() : std::string("nil")) + (port && port->IsLoading() ? " loading" : ""));
  }
  TPort* Port() const { return port_; }
  void Loaded() override {
    TCustomComboBox::Loaded();
    Note(this, " loaded");
  }

 private:
  TPort* port_ = nullptr;
};

constexpr const char* kLayout = R"(object Form1: LayoutForm
  Left = 264
  Top = 156
  Width = 308
  Height = 409
  Caption = 'Pinscope'
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  PixelsPerInch = 96
  object GroupBox1: TGroupBox
    Left = 8
    Top = 8
    Width = 145
    Height = 200
    Caption = ' LPT Pins'
    TabOrder = 1
    object CheckBox1: TCheckBox
      Left = 16
      Top = 24
      Width = 120
      Height = 17
      Alignment = taLeftJustify
      Caption = 'Pin 1 ''Strobe'''#33
      Font.Color = clGreen
      Font.Height = -11
      Font.Name = 'Courier'
      ParentFont = False
      TabOrder = 1
      AllowGrayed = True
      State = cbGrayed
      OnClick = CheckBox1Click
    end
    object CheckBox2: TCheckBox
      Left = 16
      Top = 44
      Caption = 'Pin 2 ' +
        'D0'
      Font.Color = $00800080
      TabOrder = 0
      Checked = True
      Tag = 2
      OnClick = CheckBox1Click
    end
  end
  object Button1: TButton
    Caption = 'Refresh'
    TabOrder = 0
  end
  object PortBox1: TPortBox
    Style = csDropDownList
    ItemHeight = 13
    ItemIndex = 1
    Items.Strings = (
      'LPT1'
      'LPT2')
    Port = Port1
  end
  object Port1: TPort
    IOBase = 888
    Port = lpLPT2
    Active = True
    OnClosing = CheckBox1Click
  end
end
)";

class Layouts : public testing::Test {
 protected:
  Layouts() {
    RegisterStandardClasses(classes);
    classes.Declare<LayoutForm, TForm>("LayoutForm");
    classes.Register<TPort, TComponent>("TPort")
        .Integer("IOBase", &TPort::SetIOBase)
        .Enum("Port", &TPort::SetPort, {{"lpLPT1", lpLPT1}, {"lpLPT2", lpLPT2}})
        .Boolean("Active", &TPort::SetActive)
        .Integer("Fail", &TPort::SetFail)
        .Boolean("LocalEcho", &TPort::LocalEcho)
        .String("LogPrefix", &TPort::LogPrefix)
        .Integer("Retries", &TPort::Retries)
        .Event("OnClosing", &TPort::OnClosing);
    classes.Register<TPortBox, TCustomComboBox>("TPortBox").Reference<TPort>("Port", &TPortBox::SetPort);
  }

  template <typename T>
  T* Find(const std::string& name) {
    return dynamic_cast<T*>(form.FindComponent(name));
  }

  sim::InstalledPc pc;
  ClassRegistry classes;
  LayoutForm form{nullptr};
};

TEST_F(Layouts, BuildsTheTreeSettingPropertiesInOrderThenReferencesThenLoaded) {
  LoadLayout(kLayout, form, classes, form.Bindings());

  EXPECT_EQ(form.log, (std::vector<std::string>{"Port1.IOBase", "Port1.Port", "Port1.Active stored",
                                                "PortBox1.Port=Port1 loading", "Form1 loaded", "PortBox1 loaded",
                                                "Port1 loaded"}));
  ASSERT_EQ(form.ComponentCount(), 6);
  std::vector<std::string> names;
  for (int i = 0; i < form.ComponentCount(); ++i) {
    names.push_back(form.Components(i)->Name());
    EXPECT_FALSE(form.Components(i)->IsLoading()) << names.back();
  }
  EXPECT_EQ(names, (std::vector<std::string>{"GroupBox1", "CheckBox1", "CheckBox2", "Button1", "PortBox1", "Port1"}));
  EXPECT_FALSE(form.IsLoading());
  EXPECT_EQ(form.Name(), "Form1");
  EXPECT_EQ(form.Caption(), "Pinscope");
  EXPECT_EQ(form.Color(), clBtnFace);
  EXPECT_EQ(form.Font().Name(), "MS Sans Serif");

  auto* group = Find<TGroupBox>("GroupBox1");
  auto* box1 = Find<TCheckBox>("CheckBox1");
  auto* box2 = Find<TCheckBox>("CheckBox2");
  auto* port_box = Find<TPortBox>("PortBox1");
  ASSERT_TRUE(group && box1 && box2 && port_box);
  EXPECT_EQ(form.CheckBox1, box1);
  EXPECT_EQ(form.Port1, Find<TPort>("Port1"));
  EXPECT_EQ(box1->Parent(), group);
  EXPECT_EQ(group->Controls(1), box2);
  EXPECT_EQ(box2->TabOrder(), 0);
  EXPECT_EQ(group->TabOrder(), 1);
  EXPECT_EQ(Find<TButton>("Button1")->TabOrder(), 0);

  EXPECT_EQ(box1->Caption(), "Pin 1 'Strobe'!");
  EXPECT_EQ(box2->Caption(), "Pin 2 D0");
  EXPECT_EQ((std::vector<int>{box1->Left(), box1->Top(), box1->Width(), box1->Height()}),
            (std::vector<int>{16, 24, 120, 17}));
  EXPECT_EQ(box1->State(), cbGrayed);
  EXPECT_EQ(box1->Alignment(), taLeftJustify);
  EXPECT_EQ(box1->Font().Name(), "Courier");
  EXPECT_EQ(box1->Font().Color(), clGreen);
  EXPECT_EQ(box2->Font().Color(), clPurple);
  EXPECT_EQ(box2->Font().Name(), "MS Sans Serif");
  EXPECT_TRUE(box2->Checked());
  EXPECT_EQ(box2->Tag(), 2);
  EXPECT_TRUE(form.clicks.empty()) << "stored states are where the boxes start, not clicks";

  EXPECT_EQ(port_box->ItemIndex(), 1) << "the selection, written before the entries, waits for them";
  EXPECT_EQ(port_box->Text(), "LPT2");
  EXPECT_EQ(port_box->ItemHeight(), 13);
  EXPECT_EQ(port_box->Port(), form.Port1);
  EXPECT_EQ(form.Port1->io_base, 888);
  EXPECT_EQ(form.Port1->port, lpLPT2);

  // The handlers are bound: a click goes to the form.
  form.Show();
  pc.windows.Click(box1->Handle());
  pc.windows.Click(box2->Handle());
  form.Port1->OnClosing(form.Port1);
  EXPECT_EQ(form.clicks, (std::vector<std::string>{"CheckBox1", "CheckBox2", "Port1"}));
  EXPECT_TRUE(box1->Checked());
  EXPECT_EQ(pc.windows.ChildrenOf(form.Handle()),
            (std::vector<HWND>{Find<TButton>("Button1")->Handle(), group->Handle(), port_box->Handle()}));
}

TEST_F(Layouts, AFormIsScaledToTheScreenWhenBuilt) {
  pc.graphics.SetScreenDpi(120);
  LoadLayout(kLayout, form, classes, form.Bindings());
  EXPECT_EQ((std::vector<int>{form.Left(), form.Top(), form.Width(), form.Height()}),
            (std::vector<int>{330, 195, 385, 511}));
  EXPECT_EQ(form.PixelsPerInch(), 120);
  EXPECT_EQ(form.Font().Height(), -14);
  EXPECT_EQ(form.CheckBox1->Left(), 20);
  EXPECT_EQ(form.CheckBox1->Font().Height(), -14);
  EXPECT_EQ(Find<TPortBox>("PortBox1")->ItemHeight(), 16);
}

TEST_F(Layouts, ALayoutComesFromTheProgramsResources) {
  const std::string text = kLayout;
  pc.resources.Add(RT_RCDATA, "LAYOUTFORM", std::vector<BYTE>(text.begin(), text.end()));
  LoadLayoutFromResource("LayoutForm", form, classes, form.Bindings());
  EXPECT_EQ(form.ComponentCount(), 6);

  LayoutForm other(nullptr);
  EXPECT_EQ(RaisedMessage([&] { LoadLayoutFromResource("MAINFORM", other, classes); }), "Resource MAINFORM not found");
}

struct BadLayout {
  const char* text;
  const char* message;
};

class BadLayouts : public Layouts, public testing::WithParamInterface<BadLayout> {};

TEST_P(BadLayouts, RaiseAClearErrorAndLeaveNothingBuilt) {
  form.Handle();  // controls get windows at once: those must go too
  const size_t windows = pc.windows.WindowCount();
  EXPECT_EQ(RaisedMessage<ELayoutError>([&] { LoadLayout(GetParam().text, form, classes, form.Bindings()); }),
            GetParam().message);
  EXPECT_EQ(form.ComponentCount(), 0);
  EXPECT_EQ(form.ControlCount(), 0);
  EXPECT_EQ(pc.windows.WindowCount(), windows);
  EXPECT_EQ(form.CheckBox1, nullptr);
}

// The start of a good layout; each case below goes on from line 4.
#define FORM "object Form1: LayoutForm\n  Caption = 'x'\n  object CheckBox1: TCheckBox\n"
#define PORT "  end\n  object Port1: TPort\n  end\n"

INSTANTIATE_TEST_SUITE_P(
    Layouts, BadLayouts,
    testing::Values(
        BadLayout{FORM "    Captoin = 'Pin 1'\n" PORT "end\n",
                  "Layout line 4: unknown property 'Captoin' of CheckBox1 (TCheckBox)"},
        BadLayout{FORM "  end\n  object Box2: TCheckBx\n  end\nend\n",
                  "Layout line 5: unknown class 'TCheckBx' of Box2"},
        BadLayout{FORM "    Checked = Yes\n" PORT "end\n",
                  "Layout line 4: bad value for 'Checked' of CheckBox1 (TCheckBox): expected True or False, found Yes"},
        BadLayout{FORM "    Left = 99999999999\n" PORT "end\n",
                  "Layout line 4: bad value for 'Left' of CheckBox1 (TCheckBox): 99999999999 is out of range"},
        BadLayout{FORM "    Caption = 12\n" PORT "end\n",
                  "Layout line 4: bad value for 'Caption' of CheckBox1 (TCheckBox): expected a 'string', found 12"},
        BadLayout{FORM "    State = cbMaybe\n" PORT "end\n",
                  "Layout line 4: bad value for 'State' of CheckBox1 (TCheckBox): expected one of cbUnchecked, "
                  "cbChecked, cbGrayed, found cbMaybe"},
        BadLayout{FORM "    Font.Color = clMauve\n" PORT "end\n",
                  "Layout line 4: bad value for 'Font.Color' of CheckBox1 (TCheckBox): expected a colour (clGreen, "
                  "$008000), found clMauve"},
        BadLayout{FORM "    OnClick = CheckBox1Clik\n" PORT "end\n",
                  "Layout line 4: bad value for 'OnClick' of CheckBox1 (TCheckBox): there is no handler "
                  "'CheckBox1Clik'"},
        BadLayout{FORM "    OnClick = PinChanged\n" PORT "end\n",
                  "Layout line 4: bad value for 'OnClick' of CheckBox1 (TCheckBox): handler 'PinChanged' does not "
                  "take this event's arguments"},
        BadLayout{FORM "  end\n  object PortBox1: TPortBox\n    Port = Port2\n  end\n  object Port1: TPort\n  end\nend\n",
                  "Layout line 6: unresolved reference 'Port2' in 'Port' of PortBox1 (TPortBox)"},
        BadLayout{FORM "  end\n  object PortBox1: TPortBox\n    Port = CheckBox1\n  end\n  object Port1: TPort\n  end\nend\n",
                  "Layout line 6: bad value for 'Port' of PortBox1 (TPortBox): 'CheckBox1' (TCheckBox) is not a "
                  "component of the kind it takes"},
        BadLayout{FORM "  end\n  object Port1: TPort\n    Fail = 1\n  end\nend\n",
                  "Layout line 6: cannot set 'Fail' of Port1 (TPort): no such port"},
        BadLayout{FORM "  end\n  object CheckBox1: TCheckBox\n  end\nend\n",
                  "Layout line 5: there is a component named CheckBox1 already"},
        BadLayout{FORM "  end\n  object Port1: TPort\n    object Box2: TCheckBox\n    end\n  end\nend\n",
                  "Layout line 6: Box2 (TCheckBox) is a control, and Port1 (TPort) cannot hold controls"},
        BadLayout{"object Form1: LayoutForm\n  PixelsPerInch = 0\nend\n",
                  "Layout line 2: bad value for 'PixelsPerInch' of Form1 (LayoutForm): a resolution is at least 1 "
                  "pixel per inch, found 0"},
        BadLayout{FORM "  end\n  object Combo: TCustomComboBox\n  end\nend\n",
                  "Layout line 5: class TCustomComboBox of Combo cannot be made by a layout"},
        BadLayout{"object Form1: TPortBox\nend\n", "Layout line 1: the component given for Form1 is not a TPortBox"},
        BadLayout{"object Form1: LayoutForm\n  object Box2: TCheckBox\n  end\nend\n",
                  "Layout: no component CheckBox1 for the form's field of that name"},
        BadLayout{"object Form1: LayoutForm\n  object CheckBox1: TButton\n  end\n  object Port1: TPort\n  end\nend\n",
                  "Layout: CheckBox1 (TButton) is not of the kind of the form's field of that name"}));

#undef FORM
#undef PORT

// Values at the ends of int, and the sums and products they reach: scaling to the screen, the
// combo box's dropped list, centring the window, a font's size. Each stops at the int limit
// where it would wrap (which UBSan fails) or turn into MulDiv's -1.
struct AtTheLimits {
  int dpi;
  const char* form;   // the form's entries
  const char* combo;  // a combo box's on it
  std::vector<int> form_window, combo_window;
  int font_height;
};

class LayoutsAtTheLimits : public Layouts, public testing::WithParamInterface<AtTheLimits> {};

constexpr int kMax = 2147483647;

TEST_P(LayoutsAtTheLimits, SaturateInsteadOfWrapping) {
  const AtTheLimits& c = GetParam();
  pc.graphics.SetScreenDpi(c.dpi);
  LoadLayout(std::string("object Form1: LayoutForm\n") + c.form + "  object Combo: TComboBox\n" + c.combo +
                 "  end\nend\n",
             form, classes);
  auto bounds = [&](HWND window) {
    const sim::Window* found = pc.windows.Find(window);
    return std::vector<int>{found->x, found->y, found->width, found->height};
  };
  EXPECT_EQ(bounds(form.Handle()), c.form_window);
  EXPECT_EQ(bounds(Find<TComboBox>("Combo")->Handle()), c.combo_window);
  EXPECT_EQ(form.Font().Height(), c.font_height);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, LayoutsAtTheLimits,
    testing::Values(
        // At 120 dpi a default form is 400 x 300 and a combo box 181 x 26, its list 8 x 16 + 2 more.
        AtTheLimits{120, "  Left = 2147483647\n  Width = 2147483647\n", "", {kMax, 0, kMax, 300}, {0, 0, 181, 156}, -14},
        AtTheLimits{120, "", "    Left = 2147483647\n    Width = 2147483647\n", {0, 0, 400, 300}, {kMax, 0, 0, 156}, -14},
        AtTheLimits{120, "", "    Left = -2147483648\n    Width = 2147483647\n", {0, 0, 400, 300},
                    {-kMax, 0, kMax - 1, 156}, -14},
        AtTheLimits{120, "", "    ItemHeight = 2147483647\n    DropDownCount = 2147483647\n", {0, 0, 400, 300},
                    {0, 0, 181, kMax}, -14},
        AtTheLimits{96, "", "    DropDownCount = -5\n", {0, 0, 320, 240}, {0, 0, 145, 23}, -11},
        AtTheLimits{96, "  Position = poScreenCenter\n  Width = -2147483648\n  Height = 2147483647\n", "",
                    {1073742336, -1073741439, -kMax - 1, kMax}, {0, 0, 145, 151}, -11},
        AtTheLimits{96, "  Font.Size = 2000000000\n", "", {0, 0, 320, 240}, {0, 0, 145, 151}, -kMax}));

TEST_F(Layouts, WhatLoadedRaisesPassesThroughAndNothingIsLeft) {
  constexpr const char* kBroken =
      "object Form1: LayoutForm\n  object CheckBox1: TCheckBox\n  end\n"
      "  object Port1: TPort\n    Active = True\n  end\nend\n";
  try {
    LoadLayout(kBroken, form, classes, form.Bindings());
    FAIL() << "no exception";
  } catch (const ELayoutError&) {
    FAIL() << "not a fault of the layout";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "LPT2 has no base address");
  }
  EXPECT_EQ(form.ComponentCount(), 0);
  EXPECT_EQ(form.Port1, nullptr);
}

TEST_F(Layouts, NamesIgnoreCaseAndFieldsTakeValuesDirectly) {
  LoadLayout(
      "OBJECT Form1: layoutform\n"
      "  object CheckBox1: tcheckbox\n    checked = TRUE\n    font.color = CLGREEN\n    state = CBGRAYED\n  END\n"
      "  object Port1: TPort\n    port = LPLPT2\n    IOBase = $378\n    localecho = true\n"
      "    LogPrefix = 'LPT: '\n    Retries = 3\n  end\nend",
      form, classes, form.Bindings());
  EXPECT_EQ(form.CheckBox1->State(), cbGrayed);
  EXPECT_EQ(form.CheckBox1->Font().Color(), clGreen);
  EXPECT_EQ(form.Port1->io_base, 0x378);
  EXPECT_TRUE(form.Port1->LocalEcho);
  EXPECT_EQ(form.Port1->LogPrefix, "LPT: ");
  EXPECT_EQ(form.Port1->Retries, 3);
}

}  // namespace
}  // namespace fw
