#pragma once
// Per-user settings in the registry: HKEY_CURRENT_USER\Software\<application>\<section>, one
// string value per key.
#include "controls/settings_store.h"

namespace corvale::win32 {

class RegistrySettingsStore final : public SettingsStore {
  public:
    std::optional<std::string> Get(std::string_view app, std::string_view section,
                                   std::string_view key) override;
    bool Save(std::string_view app, std::string_view section, std::string_view key,
              std::string_view value) override;
};

} // namespace corvale::win32
