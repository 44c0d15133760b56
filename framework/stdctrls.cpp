#include "framework/stdctrls.h"

#include <algorithm>
#include <cstdint>
#include <deque>

#include "framework/exception.h"
#include "platform/unique_handle.h"

namespace fw {

// ---------------------------------------------------------------------------------------------
// TCheckBox

TCheckBox::TCheckBox(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 97, 17);
  SetTabStop(true);
}

void TCheckBox::SetState(TCheckBoxState state) {
  if (state == state_) return;
  state_ = state;
  // A two-state box shows grayed only once it is a three-state one.
  UpdateStyle();
  if (HWND window = HandleIfAllocated()) win::SendMessageA(window, BM_SETCHECK, static_cast<WPARAM>(state_), 0);
  if (!IsLoading()) Click();
}

void TCheckBox::SetAllowGrayed(bool allow_grayed) {
  if (allow_grayed == allow_grayed_) return;
  allow_grayed_ = allow_grayed;
  UpdateStyle();
}

void TCheckBox::SetAlignment(TLeftRight alignment) {
  if (alignment == alignment_) return;
  alignment_ = alignment;
  UpdateStyle();
}

void TCheckBox::Click() {
  if (OnClick.Assigned()) OnClick(this);
}

void TCheckBox::Toggle() {
  switch (state_) {
    case cbUnchecked: SetState(allow_grayed_ ? cbGrayed : cbChecked); break;
    case cbChecked: SetState(cbUnchecked); break;
    case cbGrayed: SetState(cbChecked); break;
  }
}

// Not the AUTO styles: the state is the component's, and the window only shows it.
DWORD TCheckBox::ButtonStyle() const {
  return ((allow_grayed_ || state_ == cbGrayed) ? BS_3STATE : BS_CHECKBOX) |
         (alignment_ == taLeftJustify ? BS_LEFTTEXT : 0);
}

void TCheckBox::UpdateStyle() {
  HWND window = HandleIfAllocated();
  if (!window) return;
  const auto style = static_cast<DWORD>(win::GetWindowLongPtrA(window, GWL_STYLE));
  const DWORD wanted = (style & ~(BS_TYPEMASK | BS_LEFTTEXT)) | ButtonStyle();
  if (wanted == style) return;
  win::SetWindowLongPtrA(window, GWL_STYLE, static_cast<LONG>(wanted));
  win::SendMessageA(window, BM_SETSTYLE, wanted & 0xFFFF, TRUE);
}

void TCheckBox::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.class_name = "BUTTON";
  params.style |= ButtonStyle();
}

void TCheckBox::HandleCreated() {
  TWinControl::HandleCreated();
  // Visual styles draw a check box's caption in the theme's text colour, whatever the parent
  // answers to WM_CTLCOLORSTATIC; a caption's own colour may carry meaning.
  FormShared().theme.KeepClassicLook(HandleIfAllocated());
  win::SendMessageA(HandleIfAllocated(), BM_SETCHECK, static_cast<WPARAM>(state_), 0);
}

void TCheckBox::WndProc(TMessage& message) {
  if (message.Msg == CN_COMMAND && HIWORD(message.WParam) == BN_CLICKED) {
    Toggle();
    return;
  }
  TWinControl::WndProc(message);
}

// ---------------------------------------------------------------------------------------------
// TButton

TButton::TButton(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 75, 25);
  SetTabStop(true);
}

void TButton::Click() {
  if (OnClick.Assigned()) OnClick(this);
}

void TButton::SetDefault(bool is_default) {
  if (is_default == default_) return;
  default_ = is_default;
  if (HWND window = HandleIfAllocated()) {
    win::SendMessageA(window, BM_SETSTYLE, default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
  }
}

void TButton::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.class_name = "BUTTON";
  params.style |= default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

void TButton::WndProc(TMessage& message) {
  if (message.Msg == CN_COMMAND && HIWORD(message.WParam) == BN_CLICKED) {
    Click();
    return;
  }
  TWinControl::WndProc(message);
}

// ---------------------------------------------------------------------------------------------
// TGroupBox

TGroupBox::TGroupBox(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 185, 105); }

void TGroupBox::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.class_name = "BUTTON";
  // Its children are drawn by themselves, and Tab moves into them.
  params.style |= BS_GROUPBOX | WS_CLIPCHILDREN;
  params.ex_style |= WS_EX_CONTROLPARENT;
}

void TGroupBox::WndProc(TMessage& message) {
  if (message.Msg == WM_ERASEBKGND) {
    // The class leaves its inside unpainted, counting on a parent that draws under it.
    RECT client{};
    win::GetClientRect(HandleIfAllocated(), &client);
    win::FillRect(reinterpret_cast<HDC>(message.WParam), &client, Brush().Handle());
    message.Result = 1;
    return;
  }
  TWinControl::WndProc(message);
}

// ---------------------------------------------------------------------------------------------
// TCustomComboBox

class TCustomComboBox::ItemList final : public TStrings {
 public:
  explicit ItemList(TCustomComboBox& combo) : combo_(combo) {}

  int Count() const override {
    if (HWND window = Window()) return static_cast<int>(win::SendMessageA(window, CB_GETCOUNT, 0, 0));
    return stored.Count();
  }

  const std::string& Strings(int index) const override {
    HWND window = Window();
    if (!window) return stored.Strings(index);
    Check(index);
    const LRESULT length = win::SendMessageA(window, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    std::string text(static_cast<size_t>(length < 0 ? 0 : length) + 1, '\0');
    const LRESULT copied =
        win::SendMessageA(window, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(copied < 0 ? 0 : copied));
    // Each index keeps its own copy, so that texts asked for one after another stay valid.
    if (fetched_.size() <= static_cast<size_t>(index)) fetched_.resize(static_cast<size_t>(index) + 1);
    std::string& kept = fetched_[static_cast<size_t>(index)];
    kept = std::move(text);
    return kept;
  }

  TObject* Objects(int index) const override {
    HWND window = Window();
    if (!window) return stored.Objects(index);
    Check(index);
    return reinterpret_cast<TObject*>(win::SendMessageA(window, CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
  }

  int AddObject(const std::string& text, TObject* object) override {
    HWND window = Window();
    if (!window) return stored.AddObject(text, object);
    const LRESULT index = win::SendMessageA(window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (index < 0) throw Exception("Cannot add '" + text + "' to combo box '" + combo_.Name() + "'");
    win::SendMessageA(window, CB_SETITEMDATA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(object));
    return static_cast<int>(index);
  }

  void Delete(int index) override {
    HWND window = Window();
    if (!window) {
      stored.Delete(index);
      if (combo_.stored_index_ == index) {
        combo_.stored_index_ = -1;
      } else if (combo_.stored_index_ > index) {
        --combo_.stored_index_;
      }
      return;
    }
    Check(index);
    win::SendMessageA(window, CB_DELETESTRING, static_cast<WPARAM>(index), 0);
  }

  void Clear() override {
    fetched_.clear();
    HWND window = Window();
    if (!window) {
      stored.Clear();
      combo_.stored_index_ = -1;
      return;
    }
    win::SendMessageA(window, CB_RESETCONTENT, 0, 0);
  }

  TStringList stored;  // the entries while there is no window

 private:
  HWND Window() const { return combo_.HandleIfAllocated(); }
  void Check(int index) const {
    if (index < 0 || index >= Count()) throw EListError(index);
  }

  TCustomComboBox& combo_;
  mutable std::deque<std::string> fetched_;
};

TCustomComboBox::TCustomComboBox(TComponent* owner)
    : TWinControl(owner), items_(std::make_unique<ItemList>(*this)) {
  SetBounds(0, 0, 145, 21);
  SetColor(clWindow);
  SetTabStop(true);
}

TCustomComboBox::~TCustomComboBox() = default;

TStrings& TCustomComboBox::Items() { return *items_; }
const TStrings& TCustomComboBox::Items() const { return *items_; }

int TCustomComboBox::ItemIndex() const {
  if (HWND window = HandleIfAllocated()) return static_cast<int>(win::SendMessageA(window, CB_GETCURSEL, 0, 0));
  return index_pending_ ? pending_index_ : stored_index_;
}

void TCustomComboBox::SetItemIndex(int index) {
  if (IsLoading()) {
    pending_index_ = index;
    index_pending_ = true;
    return;
  }
  if (HWND window = HandleIfAllocated()) {
    win::SendMessageA(window, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    return;
  }
  // As the window would take it: an index out of range selects nothing.
  stored_index_ = index >= 0 && index < items_->stored.Count() ? index : -1;
}

void TCustomComboBox::SetItemHeight(int height) {
  if (height <= 0) return;
  item_height_ = height;
  item_height_set_ = true;
  if (HWND window = HandleIfAllocated()) {
    win::SendMessageA(window, CB_SETITEMHEIGHT, 0, item_height_);
    BoundsChanged();
  }
}

void TCustomComboBox::SetStyle(TComboBoxStyle style) {
  if (style == style_) return;
  style_ = style;
  RecreateWnd();
}

std::string TCustomComboBox::Text() const {
  if (HWND window = HandleIfAllocated()) {
    const auto length = static_cast<size_t>(win::SendMessageA(window, WM_GETTEXTLENGTH, 0, 0));
    std::string text(length + 1, '\0');
    const auto copied = static_cast<size_t>(
        win::SendMessageA(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data())));
    text.resize(std::min(copied, length));
    return text;
  }
  if (style_ != csDropDownList) return stored_text_;
  const int index = ItemIndex();
  return index >= 0 && index < items_->stored.Count() ? items_->stored.Strings(index) : std::string();
}

void TCustomComboBox::SetText(const std::string& text) {
  if (IsLoading()) {
    stored_text_ = text;
    text_pending_ = true;
    return;
  }
  if (style_ == csDropDownList) {
    SetItemIndex(Items().IndexOf(text));
  } else if (HWND window = HandleIfAllocated()) {
    win::SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  } else {
    stored_text_ = text;
  }
}

void TCustomComboBox::SetDropDownCount(int count) {
  if (count == drop_down_count_) return;
  drop_down_count_ = count;
  BoundsChanged();
}

void TCustomComboBox::Loaded() {
  TWinControl::Loaded();
  // Entries may come after the selection in a layout: take the selection now.
  if (text_pending_) {
    text_pending_ = false;
    SetText(stored_text_);
  }
  if (index_pending_) {
    index_pending_ = false;
    SetItemIndex(pending_index_);
  }
}

void TCustomComboBox::ChangeScale(int m, int d) {
  TWinControl::ChangeScale(m, d);
  if (item_height_set_) SetItemHeight(ScaleSaturated(item_height_, m, d));
}

void TCustomComboBox::Change() {
  if (OnChange.Assigned()) OnChange(this);
}

// The classic combo box takes the height of its dropped list with its own. A list taller than
// any screen is as tall as an int allows: Windows fits it to the screen.
int TCustomComboBox::WindowHeight() const {
  if (style_ == csSimple) return Height();
  const std::int64_t list = std::int64_t{item_height_} * std::max(drop_down_count_, 0) + 2;
  return SaturatedInt(Height() + list);
}

void TCustomComboBox::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.class_name = "COMBOBOX";
  params.style |= WS_VSCROLL;
  switch (style_) {
    case csDropDown: params.style |= CBS_DROPDOWN | CBS_AUTOHSCROLL; break;
    case csSimple: params.style |= CBS_SIMPLE | CBS_AUTOHSCROLL; break;
    case csDropDownList: params.style |= CBS_DROPDOWNLIST; break;
  }
  params.height = WindowHeight();
}

void TCustomComboBox::HandleCreated() {
  TWinControl::HandleCreated();
  HWND window = HandleIfAllocated();
  if (item_height_set_) win::SendMessageA(window, CB_SETITEMHEIGHT, 0, item_height_);
  TStringList kept;
  std::swap(kept, items_->stored);
  for (int i = 0; i < kept.Count(); ++i) items_->AddObject(kept.Strings(i), kept.Objects(i));
  if (style_ != csDropDownList && !stored_text_.empty()) {
    win::SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(stored_text_.c_str()));
  }
  if (stored_index_ >= 0) win::SendMessageA(window, CB_SETCURSEL, static_cast<WPARAM>(stored_index_), 0);
}

void TCustomComboBox::HandleDestroying() {
  // Keep what only the window knew, for the next window or for a box without one.
  const int index = ItemIndex();
  const std::string text = Text();
  TStringList kept;
  for (int i = 0; i < items_->Count(); ++i) kept.AddObject(items_->Strings(i), items_->Objects(i));
  items_->stored = std::move(kept);
  stored_index_ = index;
  stored_text_ = style_ == csDropDownList ? std::string() : text;
}

void TCustomComboBox::WndProc(TMessage& message) {
  if (message.Msg == CN_COMMAND) {
    const WORD code = HIWORD(message.WParam);
    if (code == CBN_SELCHANGE || (code == CBN_EDITCHANGE && style_ != csDropDownList)) Change();
    return;
  }
  TWinControl::WndProc(message);
}

void TCustomComboBox::BoundsChanged() {
  if (HWND window = HandleIfAllocated()) {
    win::SetWindowPos(window, nullptr, Left(), Top(), Width(), WindowHeight(), SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

}  // namespace fw
