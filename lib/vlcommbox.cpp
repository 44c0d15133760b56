#include "lib/vlcommbox.h"

TvlDeviceBox::TvlDeviceBox(fw::TComponent* owner) : fw::TCustomComboBox(owner) { SetStyle(fw::csDropDownList); }

TvlDeviceBox::~TvlDeviceBox() {
  // A component that is being destroyed has already sent its removal notice, which unbound
  // the box; one that is still bound lives on and must not call a box that is gone.
  if (pelorn_) pelorn_->RemoveNotify(Listener());
}

void TvlDeviceBox::SetPelorn(TvlBaseIO* component) {
  Items().Clear();
  SetItemIndex(-1);
  // The earlier component keeps no listener that would reach this box once it listens
  // elsewhere (or is gone). Forgetting it first means that an enumeration that fails below
  // leaves the box unbound and empty, never half bound.
  if (pelorn_ && pelorn_ != component) {
    pelorn_->RemoveNotify(Listener());
    RemoveFreeNotification(pelorn_);
    pelorn_ = nullptr;
  }
  if (component) {
    component->GetDeviceNames(&Items());
    SetItemIndex(component->GetDeviceIndex());
    component->AddNotify(Listener());
    FreeNotification(component);
  }
  pelorn_ = component;
}

void TvlDeviceBox::DevicesNotify(fw::TObject*, int code) {
  if (code == ncDevicesChanged) UpdateItems();
}

void TvlDeviceBox::Change() {
  if (!pelorn_) return;
  pelorn_->SetDeviceIndex(ItemIndex());
  fw::TCustomComboBox::Change();
}

void TvlDeviceBox::Notification(fw::TComponent* component, fw::TOperation operation) {
  fw::TCustomComboBox::Notification(component, operation);
  if (operation == fw::TOperation::opRemove && component == pelorn_) {
    pelorn_ = nullptr;
    SetItemIndex(-1);
  }
}

void TvlDeviceBox::ForwardDeviceChange(fw::TMessage& message) {
  if (pelorn_) pelorn_->DeviceChange(message);
}
