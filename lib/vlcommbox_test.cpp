// The device box on the simulated PC, bound to a component whose device list the test sets.
#include "lib/vlcommbox.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/exception.h"
#include "framework/forms.h"
#include "sim/pc.h"

namespace {

// A component with ports LPT1..LPTn and a current port number, counting its enumerations.
class Ports : public TvlBaseIO {
 public:
  Ports(fw::TComponent* owner, int count) : TvlBaseIO(owner), count_(count) {}

  int current = 1;
  int enumerations = 0;
  bool fail_enumeration = false;
  std::vector<int> chosen;

  void EnumDevices() override {
    ++enumerations;
    if (fail_enumeration) throw fw::Exception("no setup library");
    for (int i = 1; i <= count_; ++i) {
      auto* device = new TvlDevice;
      device->Name = "LPT" + std::to_string(i);
      device->Number = i;
      AddDevice(device);
    }
  }
  int GetDeviceIndex() override { return IndexOfNumber(current); }
  void SetDeviceIndex(int index) override {
    chosen.push_back(index);
    current = GetDevice(index)->Number;
    TvlBaseIO::SetDeviceIndex(index);  // tells the listeners
  }

 private:
  int count_;
};

struct Changes {
  int count = 0;
  void Change(fw::TObject*) { ++count; }
};

class DeviceBox : public testing::Test {
 protected:
  sim::InstalledPc pc;
  fw::TForm form{nullptr};
  TvlDeviceBox* box = new TvlDeviceBox(&form);
  Changes changes;

  void SetUp() override {
    box->SetParent(&form);
    box->OnChange = fw::TNotifyEvent::Of<&Changes::Change>(&changes);
  }

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (int i = 0; i < box->Items().Count(); ++i) texts.push_back(box->Items().Strings(i));
    return texts;
  }

  // What the user does: drop the list and pick an entry.
  void Choose(int index) {
    form.Show();
    pc.windows.Choose(box->Handle(), index);
  }
};

using Names = std::vector<std::string>;

TEST_F(DeviceBox, IsADropDownListThatBindingFillsAndSelects) {
  EXPECT_EQ(box->Style(), fw::csDropDownList);
  Ports ports(nullptr, 3);
  ports.current = 2;
  box->SetPelorn(&ports);
  EXPECT_EQ(ports.enumerations, 1) << "an empty device list is enumerated first";
  EXPECT_EQ(Texts(), (Names{"LPT1", "LPT2", "LPT3"}));
  EXPECT_EQ(box->Items().Objects(1), ports.GetDevice(1)) << "each entry carries its device";
  EXPECT_EQ(box->ItemIndex(), 1);

  // Binding again refills but listens once: one change gives one refill.
  box->SetPelorn(&ports);
  EXPECT_EQ(ports.enumerations, 1);
  ports.current = 3;
  ports.DevicesChanged();
  EXPECT_EQ(box->ItemIndex(), 2);
  EXPECT_FALSE(box->ResetOnChanged());
}

TEST_F(DeviceBox, ShowsNothingSelectedWhenTheCurrentDeviceIsNotListedOrThereAreNone) {
  Ports none(nullptr, 0);
  box->SetPelorn(&none);
  EXPECT_EQ(box->Items().Count(), 0);
  EXPECT_EQ(box->ItemIndex(), -1);

  Ports two(nullptr, 2);
  two.current = 7;
  box->SetPelorn(&two);
  EXPECT_EQ(Texts(), (Names{"LPT1", "LPT2"}));
  EXPECT_EQ(box->ItemIndex(), -1);
}

TEST_F(DeviceBox, ChoosingAnEntrySelectsTheDeviceRefillsThenRaisesOnChange) {
  Ports ports(nullptr, 3);
  box->SetPelorn(&ports);
  Choose(2);
  EXPECT_EQ(ports.chosen, std::vector<int>{2});
  EXPECT_EQ(ports.current, 3);
  EXPECT_EQ(box->ItemIndex(), 2) << "the refill takes the selection from the component";
  EXPECT_EQ(box->Items().Count(), 3);
  EXPECT_EQ(changes.count, 1);
}

TEST_F(DeviceBox, OnlyCodeThreeRefills) {
  Ports ports(nullptr, 2);
  box->SetPelorn(&ports);
  ports.current = 2;
  ports.DoNotify(7);
  EXPECT_EQ(box->ItemIndex(), 0);
  ports.DoNotify(ncDevicesChanged);
  EXPECT_EQ(box->ItemIndex(), 1);
}

TEST_F(DeviceBox, UnboundBoxOnlyMovesItsOwnSelection) {
  Ports ports(nullptr, 2);
  box->SetPelorn(&ports);
  box->SetPelorn(nullptr);
  EXPECT_EQ(box->Items().Count(), 0);
  EXPECT_EQ(box->ItemIndex(), -1);
  ports.current = 2;
  ports.DevicesChanged();
  EXPECT_EQ(box->Items().Count(), 0) << "the former component no longer reaches the box";

  box->Items().Add("COM1");
  box->Items().Add("COM2");
  Choose(1);
  EXPECT_EQ(box->ItemIndex(), 1);
  EXPECT_TRUE(ports.chosen.empty());
  EXPECT_EQ(changes.count, 0);
}

TEST_F(DeviceBox, DestroyedComponentLeavesTheItemsAndAnUnboundBox) {
  auto* ports = new Ports(&form, 2);
  box->SetPelorn(ports);
  delete ports;
  EXPECT_EQ(box->Pelorn(), nullptr);
  EXPECT_EQ(Texts(), (Names{"LPT1", "LPT2"}));
  EXPECT_EQ(box->ItemIndex(), -1);
  Choose(1);
  EXPECT_EQ(changes.count, 0);
}

TEST_F(DeviceBox, NeverLeftRegisteredWithAComponentItNoLongerShows) {
  Ports first(nullptr, 2), second(nullptr, 3);
  box->SetPelorn(&first);
  box->SetPelorn(&second);  // bound elsewhere without passing through nil
  first.current = 2;
  first.DevicesChanged();
  EXPECT_EQ(box->Items().Count(), 3) << "the first component's change is not the box's";

  delete box;  // the component outlives the box
  box = nullptr;
  second.DevicesChanged();  // would reach freed memory if the box were still listening
  SUCCEED();
}

TEST_F(DeviceBox, AFailedEnumerationLeavesTheBoxUnboundAndPassesTheErrorOn) {
  Ports first(nullptr, 2), broken(nullptr, 2);
  box->SetPelorn(&first);
  broken.fail_enumeration = true;
  EXPECT_THROW(box->SetPelorn(&broken), fw::Exception);
  EXPECT_EQ(box->Pelorn(), nullptr);
  EXPECT_EQ(box->Items().Count(), 0);
  first.DevicesChanged();
  EXPECT_EQ(box->Items().Count(), 0);
}

TEST_F(DeviceBox, ForwardsDeviceChangesToTheBoundComponent) {
  Ports ports(nullptr, 1);
  int notices = 0;
  struct Count {
    int* notices;
    void Notify(fw::TObject*, int) { ++*notices; }
  } count{&notices};
  ports.AddNotify(TvlNotifyProc::Of<&Count::Notify>(&count));
  DEV_BROADCAST_HDR port{sizeof port, DBT_DEVTYP_PORT, 0};
  fw::TMessage arrival{WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&port), 0};
  box->ForwardDeviceChange(arrival);
  EXPECT_EQ(notices, 0) << "unbound: nothing";
  box->SetPelorn(&ports);
  box->ForwardDeviceChange(arrival);
  EXPECT_EQ(notices, 1);
}

}  // namespace
