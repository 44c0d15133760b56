// The device names of the Win32 name space (\\.\NAME) and the devices behind them.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "sim/device.h"
#include "sim/file_object.h"

namespace sim {

class Devices : public NameSpace {
 public:
  /// `name` as code opens it, e.g. "\\\\.\\vlio" or "\\\\.\\LPT1"; matched without regard to case.
  void Add(std::string_view name, std::shared_ptr<Device> device);

  bool Owns(std::string_view name) const override;
  DWORD Open(const OpenRequest& request, std::shared_ptr<FileObject>& file) override;

 private:
  std::shared_ptr<Device> Find(std::string_view name) const;
  std::map<std::string, std::shared_ptr<Device>> devices_;  // by canonical name
};

}  // namespace sim
