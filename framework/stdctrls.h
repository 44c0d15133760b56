// The standard controls on Windows' built-in classes: check boxes, push buttons, group boxes
// and combo boxes. Their properties live in the object and are handed to the window when it
// exists, so that a control can be set up completely before it has one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "framework/controls.h"
#include "framework/strings.h"

namespace fw {

enum TCheckBoxState : std::uint8_t { cbUnchecked, cbChecked, cbGrayed };
/// Which side of its check mark a check box's caption stands on.
enum TLeftRight : std::uint8_t { taLeftJustify, taRightJustify };

class TCheckBox : public TWinControl {
 public:
  explicit TCheckBox(TComponent* owner);

  bool Checked() const { return state_ == cbChecked; }
  void SetChecked(bool checked) { SetState(checked ? cbChecked : cbUnchecked); }
  /// A change of state raises OnClick, whoever makes it (not while loading: a stored state
  /// is where the box starts, not a change).
  TCheckBoxState State() const { return state_; }
  void SetState(TCheckBoxState state);
  /// The user's clicks pass through the grayed state too.
  bool AllowGrayed() const { return allow_grayed_; }
  void SetAllowGrayed(bool allow_grayed);
  /// taLeftJustify puts the caption left of the check mark.
  TLeftRight Alignment() const { return alignment_; }
  void SetAlignment(TLeftRight alignment);

  TNotifyEvent OnClick;

 protected:
  /// The state changed: raises OnClick.
  virtual void Click();
  /// The user clicked: unchecked goes to checked (to grayed when AllowGrayed), checked to
  /// unchecked, grayed to checked.
  virtual void Toggle();

  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  void WndProc(TMessage& message) override;

 private:
  DWORD ButtonStyle() const;
  void UpdateStyle();

  TCheckBoxState state_ = cbUnchecked;
  bool allow_grayed_ = false;
  TLeftRight alignment_ = taRightJustify;
};

class TButton : public TWinControl {
 public:
  explicit TButton(TComponent* owner);

  /// What pressing the button does: raises OnClick.
  virtual void Click();
  /// The button Enter presses: drawn with a heavier frame.
  bool Default() const { return default_; }
  void SetDefault(bool is_default);

  TNotifyEvent OnClick;

 protected:
  void CreateParams(TCreateParams& params) override;
  void WndProc(TMessage& message) override;

 private:
  bool default_ = false;
};

/// A frame with a caption that holds other controls.
class TGroupBox : public TWinControl {
 public:
  explicit TGroupBox(TComponent* owner);

 protected:
  void CreateParams(TCreateParams& params) override;
  void WndProc(TMessage& message) override;
};

enum TComboBoxStyle : std::uint8_t { csDropDown, csSimple, csDropDownList };

class TCustomComboBox : public TWinControl {
 public:
  explicit TCustomComboBox(TComponent* owner);
  ~TCustomComboBox() override;

  /// The entries and the object each carries. Before the window exists they are kept here,
  /// and handed to the window when it is made; after, they live in the window.
  TStrings& Items();
  const TStrings& Items() const;

  /// The selected entry, or -1. Setting it selects quietly: only the user's choice is a
  /// change. While loading, the value waits for the entries until the box is loaded.
  int ItemIndex() const;
  void SetItemIndex(int index);
  /// The height of the entries in the dropped list; Windows' own unless set.
  int ItemHeight() const { return item_height_; }
  void SetItemHeight(int height);
  TComboBoxStyle Style() const { return style_; }
  /// A new style takes a new window.
  void SetStyle(TComboBoxStyle style);
  /// The edit part's text; for csDropDownList the selected entry's, and setting it selects
  /// the entry with exactly that text (or none).
  std::string Text() const;
  void SetText(const std::string& text);
  /// How many entries the dropped list shows without scrolling.
  int DropDownCount() const { return drop_down_count_; }
  void SetDropDownCount(int count);

  TNotifyEvent OnChange;

  void Loaded() override;
  void ChangeScale(int m, int d) override;

 protected:
  /// The user chose an entry (or, for the editable styles, edited the text): raises OnChange.
  virtual void Change();

  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  void HandleDestroying() override;
  void WndProc(TMessage& message) override;
  void BoundsChanged() override;

 private:
  class ItemList;
  friend class ItemList;
  int WindowHeight() const;

  std::unique_ptr<ItemList> items_;
  int stored_index_ = -1;   // the selection while there is no window
  int pending_index_ = -1;  // a selection given while loading
  bool index_pending_ = false;
  std::string stored_text_;
  bool text_pending_ = false;
  int item_height_ = 16;
  bool item_height_set_ = false;
  TComboBoxStyle style_ = csDropDown;
  int drop_down_count_ = 8;
};

class TComboBox : public TCustomComboBox {
 public:
  using TCustomComboBox::TCustomComboBox;
};

}  // namespace fw
