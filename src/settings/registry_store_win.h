#pragma once

// The settings in the current user's registry: a settings key with the subkeys "State" and
// "Keys", one value per option. Each routine opens its key, works and closes it again.

#include "engine/recording_options.h"
#include "framework/handles_win.h"
#include "settings/option_store.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The settings key below HKEY_CURRENT_USER for a product name.
[[nodiscard]] std::string SettingsKeyPath(std::string_view productName);

// One open registry key as an option store. Reads never take more than their capacity.
class RegistryOptionStore final : public OptionStore {
public:
    explicit RegistryOptionStore(UniqueRegKey key) noexcept : key_(std::move(key)) {}

    // The key at `path` below HKEY_CURRENT_USER opened for reading; empty when it cannot be
    // opened, as on a first run.
    [[nodiscard]] static std::optional<RegistryOptionStore> OpenForReading(const std::string& path);
    // The key created (with any missing parents) or opened for writing; empty when that fails.
    [[nodiscard]] static std::optional<RegistryOptionStore>
    CreateForWriting(const std::string& path);

    ReadResult Read(std::string_view name, std::size_t capacity, StoredValue& value) override;
    [[nodiscard]] bool Write(std::string_view name, const StoredValue& value) override;

private:
    UniqueRegKey key_;
};

// Load: the names of stored values that were not used (see LoadOptions); a missing key loads
// nothing and lists nothing. Save: the names of values not written; all of the section's names
// when its key could not be created.
std::vector<std::string> LoadState(const std::string& settingsKey, RecordingOptions& options);
std::vector<std::string> LoadKeys(const std::string& settingsKey, RecordingOptions& options);
[[nodiscard]] std::vector<std::string> SaveState(const std::string& settingsKey,
                                                 const RecordingOptions& options);
[[nodiscard]] std::vector<std::string> SaveKeys(const std::string& settingsKey,
                                                const RecordingOptions& options);
