// The program's own resources, as the driver image and the stored layout are read.
#include <string>

#include "contract/pc_under_test.h"

namespace contract {
namespace {

template <class Pc>
class Resources : public OnPc<Pc> {};
TYPED_TEST_SUITE(Resources, PcsUnderTest, PcName);

TYPED_TEST(Resources, ANamedResourceIsFoundInAnyCaseAndReadsAsCarried) {
  const HMODULE self = win::GetModuleHandleA(nullptr);
  ASSERT_NE(self, nullptr);
  for (const char* name : {kResourceName, "ContractData"}) {
    const HRSRC resource = win::FindResourceA(self, name, RT_RCDATA);
    ASSERT_NE(resource, nullptr) << name << ": " << win::GetLastError();
    const HGLOBAL loaded = win::LoadResource(self, resource);
    ASSERT_NE(loaded, nullptr);
    const void* bytes = win::LockResource(loaded);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(bytes), win::SizeofResource(self, resource)), kResourceBytes);
  }
}

TYPED_TEST(Resources, AMissingResourceIsNotFound) {
  const HMODULE self = win::GetModuleHandleA(nullptr);
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(win::FindResourceA(self, "NOSUCHDATA", RT_RCDATA), nullptr);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_RESOURCE_NAME_NOT_FOUND}) << "got " << win::GetLastError();
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(win::FindResourceA(self, kResourceName, MAKEINTRESOURCEA(99)), nullptr);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_RESOURCE_TYPE_NOT_FOUND}) << "got " << win::GetLastError();
}

}  // namespace
}  // namespace contract
