// A drop-down list that shows the devices of one I/O component and picks its current device.
// It keeps in step through the component's listener list: every "devices changed" from the
// component fills the box again.
#pragma once

#include "framework/stdctrls.h"
#include "lib/vlclasses.h"

class TvlDeviceBox : public fw::TCustomComboBox {
 public:
  /// A drop-down list: the user picks one of the devices and never types.
  explicit TvlDeviceBox(fw::TComponent* owner);
  /// Leaves the bound component's listeners: the component may outlive the box.
  ~TvlDeviceBox() override;

  /// The bound component (not owned), or null.
  TvlBaseIO* Pelorn() const { return pelorn_; }
  /// Fills the box from `component`'s devices, selects its current one and listens to it;
  /// null empties the box. A box listens to one component at a time.
  void SetPelorn(TvlBaseIO* component);

  /// Stored with the layout; nothing reads it.
  bool ResetOnChanged() const { return reset_on_changed_; }
  void SetResetOnChanged(bool reset) { reset_on_changed_ = reset; }

  /// Fills the box again from the bound component.
  void UpdateItems() { SetPelorn(pelorn_); }

  /// Hands a device-change message on to the bound component.
  virtual void ForwardDeviceChange(fw::TMessage& message);

 protected:
  /// The user chose an entry: it becomes the component's current device, then OnChange.
  void Change() override;
  void Notification(fw::TComponent* component, fw::TOperation operation) override;

 private:
  void DevicesNotify(fw::TObject* sender, int code);
  TvlNotifyProc Listener() { return TvlNotifyProc::Of<&TvlDeviceBox::DevicesNotify>(this); }

  TvlBaseIO* pelorn_ = nullptr;
  bool reset_on_changed_ = false;
};
