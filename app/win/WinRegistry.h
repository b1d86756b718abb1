// The real registry (advapi32), keys opened for full access in the view asked for.
#pragma once

#include "app/Registry.h"

namespace mt {

class WinRegistry : public RegistryBackend {
 public:
  std::unique_ptr<RegKey> Open(RegRoot root, const RegKey* parent, const std::string& subPath,
                               bool create, RegView view = RegView::Native) override;
  std::optional<RegValue> Query(const RegKey& key, const std::string& name) override;
  bool Set(const RegKey& key, const std::string& name, const RegValue& value) override;
  bool DeleteValue(const RegKey& key, const std::string& name) override;
  bool DeleteTree(RegRoot root, const RegKey* parent, const std::string& subPath,
                  RegView view = RegView::Native) override;
  std::vector<std::string> ValueNames(const RegKey& key) override;
  std::vector<std::string> KeyNames(const RegKey& key) override;
  // The stored type and bytes as they are, a text's terminator (or its absence) included.
  std::optional<RawRegValue> QueryRaw(const RegKey& key, const std::string& name) override;
  bool SetRaw(const RegKey& key, const std::string& name, const RawRegValue& value) override;
};

}  // namespace mt
