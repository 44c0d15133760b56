#include "contract/simulated_pc.h"

#include <stdexcept>
#include <vector>

#include "sim/lpt_device.h"
#include "sim/vlio_entry.h"

namespace contract {

namespace {

std::vector<BYTE> BytesOf(std::string_view text) { return {text.begin(), text.end()}; }

}  // namespace

SimulatedPc::SimulatedPc() {
  pc.resources.Add(RT_RCDATA, kResourceName, BytesOf(kResourceBytes));
}

std::string SimulatedPc::NewFolder() {
  const std::string path = "C:\\Windows\\Temp\\contract-" + std::to_string(++folders_);
  pc.disk.MakeDirectory(path);
  return path;
}

std::string SimulatedPc::ParallelPortDevice() {
  auto device = std::make_shared<sim::LptDevice>(pc.core);
  device->Connect(pc.ports.AddPort(0x378));
  pc.files.AddDevice("\\\\.\\LPT1", device);
  return "\\\\.\\LPT1";
}

void SimulatedPc::PutFile(const std::string& path, std::string_view bytes) { pc.disk.Write(path, BytesOf(bytes)); }

std::string SimulatedPc::FileBytes(const std::string& path) {
  const auto bytes = pc.disk.Read(path);
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

DWORD SimulatedPc::OpenElsewhere(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
  std::shared_ptr<sim::FileObject> file;
  const DWORD error = pc.disk.OpenAsUser({path, access, share, disposition, 0}, file);
  return file ? ERROR_SUCCESS : error;
}

DWORD SimulatedPc::DeleteElsewhere(const std::string& path) { return pc.disk.DeleteAsUser(path); }

DWORD SimulatedPc::RenameElsewhere(const std::string& from, const std::string& to) {
  return pc.disk.RenameAsUser(from, to);
}

void SimulatedPc::DropElevation() { pc.services.SetElevated(false); }

std::string SimulatedPc::NewKey() {
  const std::string path = "SOFTWARE\\Pinscope contract\\" + std::to_string(++keys_);
  pc.registry.CreateKey(HKEY_LOCAL_MACHINE, path);
  return path;
}

void SimulatedPc::SetValue(const std::string& key, const std::string& name, DWORD type, std::string_view bytes) {
  pc.registry.SetValue(HKEY_LOCAL_MACHINE, key, name, type, BytesOf(bytes));
}

void SimulatedPc::ProvisionParallelPort(const std::string& name, WORD base) {
  pc.setup_api.AddParallelPort(name, base);
}

std::string SimulatedPc::NewServiceName() { return "pscontract"; }

std::string SimulatedPc::InstallDriverImage(const std::string& service_name) {
  const std::vector<BYTE> image = BytesOf("MZ the virtual-port driver");
  pc.kernel.AddImage(image, &DriverEntry);
  const std::string path = pc.disk.SystemDirectory() + "\\drivers\\" + service_name + ".sys";
  pc.disk.Write(path, image);
  return path;
}

void SimulatedPc::Click(HWND control) { pc.windows.Click(control); }

// The program shows only boxes with an OK button, the one answer the simulated PC gives.
void SimulatedPc::AnswerNextBox(int button) {
  if (button != IDOK) throw std::logic_error("the simulated PC answers a message box only with OK");
}

SimulatedPc::Box SimulatedPc::AnsweredBox() {
  const auto& boxes = pc.windows.Boxes();
  return boxes.empty() ? Box{} : Box{boxes.back().caption, boxes.back().text};
}

}  // namespace contract
