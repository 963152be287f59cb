#pragma once
// The per-user settings store behind the anchoring control's position memory: text values under
// application, section and key. On Windows it is the registry (controls/win32/
// registry_settings_store.h); MemorySettingsStore serves tests and other hosts.
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

namespace corvale {

class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    // The stored value, or nothing when there is none.
    virtual std::optional<std::string> Get(std::string_view app, std::string_view section,
                                           std::string_view key) = 0;
    virtual bool Save(std::string_view app, std::string_view section, std::string_view key,
                      std::string_view value) = 0;
};

class MemorySettingsStore final : public SettingsStore {
  public:
    std::optional<std::string> Get(std::string_view app, std::string_view section,
                                   std::string_view key) override {
        auto it = values_.find({std::string(app), std::string(section), std::string(key)});
        if (it == values_.end()) return std::nullopt;
        return it->second;
    }
    bool Save(std::string_view app, std::string_view section, std::string_view key,
              std::string_view value) override {
        values_[{std::string(app), std::string(section), std::string(key)}] = std::string(value);
        return true;
    }
    std::size_t Count() const { return values_.size(); }

  private:
    std::map<std::tuple<std::string, std::string, std::string>, std::string> values_;
};

} // namespace corvale
