// WinServiceControl on the prefix's service manager (Wine's is real: services made with
// CreateServiceW are listed, reconfigured and deleted like Windows' own).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/win/Handles.h"
#include "app/win/WinServiceControl.h"

namespace mt::test {
namespace {

const wchar_t* const kName = L"mt-test-contract";

std::optional<DWORD> RegistryDword(const std::wstring& name) {
  DWORD value = 0, size = sizeof value;
  const std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\" + std::wstring(kName);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &value,
                   &size) != ERROR_SUCCESS)
    return std::nullopt;
  return value;
}

class WinServiceControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager.reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(manager);
    Remove();
    service.reset(CreateServiceW(manager.get(), kName, kName, SERVICE_ALL_ACCESS,
                                 SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                 SERVICE_ERROR_NORMAL, L"C:\\mt-test\\svc.exe /run", nullptr,
                                 nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(service) << GetLastError();
  }
  void TearDown() override {
    service.reset();
    Remove();
  }
  void Remove() {
    UniqueService old(OpenServiceW(manager.get(), kName, DELETE));
    if (old) DeleteService(old.get());
  }

  UniqueService manager, service;
  WinServiceControl control;
};

TEST_F(WinServiceControlTest, ListsReadsAndChangesTheStartTypeThroughTheManager) {
  bool listed = false;
  for (const ServiceRunState& s : control.States())
    if (s.name == "mt-test-contract") {
      listed = true;
      EXPECT_FALSE(s.running);
    }
  EXPECT_TRUE(listed);
  EXPECT_EQ(control.StartOf("mt-test-contract"), (ServiceStart{kServiceDemandStart, false}));
  EXPECT_FALSE(control.StartOf("mt-test-no-such-service"));

  // Automatic and delayed: the manager holds both, and writes the registry values. Wine's
  // manager knows no delayed flag (the level is refused with ERROR_INVALID_LEVEL): there the
  // start type alone changes.
  SERVICE_DELAYED_AUTO_START_INFO info = {};
  DWORD needed = 0;
  const bool knowsDelayed = QueryServiceConfig2W(service.get(),
                                                 SERVICE_CONFIG_DELAYED_AUTO_START_INFO,
                                                 reinterpret_cast<BYTE*>(&info), sizeof info,
                                                 &needed) ||
                            GetLastError() != ERROR_INVALID_LEVEL;
  ASSERT_EQ(control.SetStart("mt-test-contract", {kServiceAutoStart, true}), ServiceOutcome::Done);
  EXPECT_EQ(control.StartOf("mt-test-contract"), (ServiceStart{kServiceAutoStart, knowsDelayed}));
  EXPECT_EQ(RegistryDword(L"Start"), DWORD{kServiceAutoStart});
  // Disabled, the delayed flag kept as it was.
  ASSERT_EQ(control.SetStart("mt-test-contract", {kServiceDisabled, true}), ServiceOutcome::Done);
  EXPECT_EQ(control.StartOf("mt-test-contract"), (ServiceStart{kServiceDisabled, false}));
  EXPECT_EQ(RegistryDword(L"Start"), DWORD{kServiceDisabled});
  ASSERT_EQ(control.SetStart("mt-test-contract", {kServiceAutoStart, false}), ServiceOutcome::Done);
  EXPECT_EQ(control.StartOf("mt-test-contract"), (ServiceStart{kServiceAutoStart, false}));

  EXPECT_EQ(control.SetStart("mt-test-no-such-service", {kServiceDisabled, false}),
            ServiceOutcome::NoSuchService);
  // Deleted while a handle is still open: the manager refuses any change.
  ASSERT_TRUE(DeleteService(service.get()));
  EXPECT_EQ(control.SetStart("mt-test-contract", {kServiceDisabled, false}),
            ServiceOutcome::MarkedForDelete);
}

}  // namespace
}  // namespace mt::test
