#include "startup/StartupApproved.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <memory>

#include "app/Backup.h"
#include "app/ChangeRegistry.h"

namespace mt {

std::optional<ApprovedKey> ApprovedKeyOf(StartupSource source) {
  const std::string root = kApprovedRoot;
  switch (source) {
    case StartupSource::MachineRun: return ApprovedKey{RegRoot::LocalMachine, root + "Run"};
    case StartupSource::MachineRun32: return ApprovedKey{RegRoot::LocalMachine, root + "Run32"};
    case StartupSource::UserRun: return ApprovedKey{RegRoot::CurrentUser, root + "Run"};
    case StartupSource::UserFolder:
      return ApprovedKey{RegRoot::CurrentUser, root + "StartupFolder"};
    case StartupSource::CommonFolder:
      return ApprovedKey{RegRoot::LocalMachine, root + "StartupFolder"};
    default: return std::nullopt;
  }
}

bool DecodeApproved(const std::optional<RegValue>& value) {
  if (!value || value->type != RegDataType::Binary) return true;
  if (value->bytes.size() < kApprovedRecordSize) return true;
  return (static_cast<unsigned char>(value->bytes[0]) & 1u) == 0;
}

std::string EncodeApproved(bool enabled, uint64_t changed) {
  std::string record(kApprovedRecordSize, '\0');
  record[0] = enabled ? '\x02' : '\x03';
  if (!enabled)
    for (int i = 0; i < 8; ++i) record[4 + i] = static_cast<char>((changed >> (8 * i)) & 0xFF);
  return record;
}

uint64_t FileTimeNow() {
  using namespace std::chrono;
  // 1601-01-01 to 1970-01-01 in 100 ns steps.
  constexpr uint64_t kEpochOffset = 116444736000000000ull;
  auto since1970 = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
  return kEpochOffset + static_cast<uint64_t>(since1970) * 10u;
}

bool ApprovedStates::NoCase::operator()(const std::string& a, const std::string& b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) <
           std::tolower(static_cast<unsigned char>(y));
  });
}

ApprovedStates::ApprovedStates(RegistryBackend& registry, StartupSource source) {
  const std::optional<ApprovedKey> key = ApprovedKeyOf(source);
  if (!key) return;
  auto opened = registry.Open(key->root, nullptr, key->path.substr(1), false);
  if (!opened) return;
  // Only the disabled ones are kept: every other name reads as enabled.
  for (const std::string& name : registry.ValueNames(*opened))
    if (!DecodeApproved(registry.Query(*opened, name))) disabled_[name] = true;
}

bool ApprovedStates::Enabled(const std::string& name) const {
  return disabled_.empty() || disabled_.find(name) == disabled_.end();
}

bool WriteApproved(RegistryBackend& registry, const StartupRow& row, bool enabled,
                   uint64_t changed) {
  const std::optional<ApprovedKey> key = ApprovedKeyOf(row.source);
  if (!key) return false;
  auto opened = registry.Open(key->root, nullptr, key->path.substr(1), true);
  if (!opened) return false;
  RegValue value;
  value.type = RegDataType::Binary;
  value.bytes = EncodeApproved(enabled, changed);
  return registry.Set(*opened, row.name, value);
}

bool SaveApprovedState(DeletionBackup& backup, const StartupRow& row) {
  const std::optional<ApprovedKey> key = ApprovedKeyOf(row.source);
  if (!key) return false;
  // The same key and view WriteApproved writes.
  return backup.Add(
      std::make_unique<RegistryValueChange>(key->root, RegView::Native, key->path, row.name), true);
}

}  // namespace mt
