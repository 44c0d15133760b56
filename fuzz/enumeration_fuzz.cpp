// The NT family's port enumeration on the simulated PC, with whatever the device database,
// the registry and ntdll hand it: Ports-class devices with any service name, "PortName"
// values of any type and bytes, "BootConfig" values of any size, and ZwQueryKey answers of
// any status, length and contents. Besides what the sanitizers see, the enumeration must
// give back every key and device set it opened and list only "LPT" names of at most the
// 128 bytes it reads.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lib/vllpt.h"
#include "sim/pc.h"

namespace {

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "the enumeration broke its contract: %s\n", what);
  std::abort();
}

std::vector<BYTE> Bytes(FuzzedDataProvider& input, size_t most) {
  const std::string text = input.ConsumeRandomLengthString(most);
  return std::vector<BYTE>(text.begin(), text.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  sim::InstalledPc pc;

  const int devices = input.ConsumeIntegralInRange(1, 3);
  for (int i = 0; i < devices; ++i) {
    sim::SimSetupApi::NewDevice device;
    device.instance_key = std::string(sim::SimSetupApi::kEnumKey) + "\\ACPI\\PNP0401\\" + std::to_string(i);
    switch (input.ConsumeIntegralInRange(0, 3)) {
      case 0: break;  // no Service property at all
      case 1: device.service = input.ConsumeRandomLengthString(300); break;
      default: device.service = "Parport"; break;
    }
    const size_t index = pc.setup_api.AddDevice(device);
    const std::string hardware_key = pc.setup_api.Devices()[index].hardware_key;
    if (input.ConsumeBool()) {
      const DWORD type = input.PickValueInArray<DWORD>({REG_SZ, REG_BINARY, REG_RESOURCE_LIST, 4 /* REG_DWORD */});
      std::vector<BYTE> name = Bytes(input, 200);
      if (input.ConsumeBool()) name.insert(name.begin(), {'L', 'P', 'T'});
      pc.registry.SetValue(HKEY_LOCAL_MACHINE, hardware_key, "PortName", type, name);
    }
    if (input.ConsumeBool()) {
      pc.registry.SetValue(HKEY_LOCAL_MACHINE, device.instance_key + "\\LogConf", "BootConfig", REG_RESOURCE_LIST,
                           Bytes(input, 2100));
    }
  }
  // What ntdll says a key is called, for the first few asks (a sizing call, then the read).
  const int answers = input.ConsumeIntegralInRange(0, 4);
  for (int i = 0; i < answers; ++i) {
    sim::SimRegistry::KeyNameAnswer answer;
    answer.status = input.ConsumeBool() ? 0 : input.ConsumeIntegral<LONG>();
    answer.result_length = input.ConsumeIntegral<ULONG>();
    answer.bytes = Bytes(input, 300);
    // The simulated PC converts only ASCII to the ANSI code page (the conversion is Windows'
    // own work), so the name's UTF-16 units after the length field are kept ASCII.
    for (size_t at = 4; at < answer.bytes.size(); ++at) answer.bytes[at] &= (at % 2) ? 0x00 : 0x7F;
    pc.registry.ScriptKeyName(std::move(answer));
  }
  // And any one of the calls underneath failing, for a while or for good.
  if (input.ConsumeBool()) {
    const char* call = input.PickValueInArray({"RegOpenKeyExA", "RegQueryValueExA", "ZwQueryKey",
                                               "WideCharToMultiByte", "LoadLibraryA", "GetProcAddress"});
    pc.core.faults.Fail(call, input.ConsumeIntegral<DWORD>(), input.ConsumeIntegralInRange(0u, 3u));
  }

  {
    TvlLPT lpt(nullptr);
    lpt.EnumDevices();
    for (int i = 0; i < lpt.DeviceCount(); ++i) {
      const std::string& name = lpt.GetDevice(i)->Name;
      if (name.rfind("LPT", 0) != 0) Broken("a name that is not an LPT port");
      if (name.size() > 128 || name.find('\0') != std::string::npos) Broken("a name from past the value");
    }
  }
  if (pc.registry.OpenKeyCount() != 0) Broken("a registry key left open");
  if (pc.setup_api.OpenSetCount() != 0) Broken("a device information set left open");
  if (pc.modules.References("ntdll.dll") != 0) Broken("ntdll left loaded");
  return 0;
}
