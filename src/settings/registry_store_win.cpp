#include "settings/registry_store_win.h"

#include <algorithm>
#include <limits>

static_assert(stored_type::Text == REG_SZ && stored_type::Dword == REG_DWORD);

namespace {

std::string SectionPath(const std::string& settingsKey, OptionSection section) {
    return settingsKey + "\\" + SectionKeyName(section);
}

std::vector<std::string> Load(const std::string& settingsKey, OptionSection section,
                              RecordingOptions& options) {
    auto store = RegistryOptionStore::OpenForReading(SectionPath(settingsKey, section));
    if (!store)
        return {};
    return LoadOptions(*store, section, options);
}

std::vector<std::string> Save(const std::string& settingsKey, OptionSection section,
                              const RecordingOptions& options) {
    auto store = RegistryOptionStore::CreateForWriting(SectionPath(settingsKey, section));
    if (!store)
        return OptionNames(section);
    return SaveOptions(*store, section, options);
}

} // namespace

std::string SettingsKeyPath(std::string_view productName) {
    return std::string("SOFTWARE\\Talvenor\\").append(productName);
}

std::optional<RegistryOptionStore> RegistryOptionStore::OpenForReading(const std::string& path) {
    UniqueRegKey key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    return RegistryOptionStore(std::move(key));
}

std::optional<RegistryOptionStore> RegistryOptionStore::CreateForWriting(const std::string& path) {
    // The settings keys carry the class text "REG_SZ". Only values are set through the key, so
    // write access is all it asks for.
    char keyClass[] = "REG_SZ";
    UniqueRegKey key;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, keyClass, REG_OPTION_NON_VOLATILE,
                          KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return std::nullopt;
    return RegistryOptionStore(std::move(key));
}

ReadResult RegistryOptionStore::Read(std::string_view name, std::size_t capacity,
                                     StoredValue& value) {
    const std::string valueName(name);
    // Never a null buffer, even for a zero capacity: given none, the call only measures the value
    // and reports success.
    std::vector<unsigned char> buffer(capacity + 1);
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(std::min<std::size_t>(capacity, MAXDWORD));
    const LONG result =
        ::RegQueryValueExA(key_.get(), valueName.c_str(), nullptr, &type, buffer.data(), &size);
    if (result == ERROR_FILE_NOT_FOUND)
        return ReadResult::Missing;
    if (result == ERROR_MORE_DATA)
        return ReadResult::TooLarge;
    if (result != ERROR_SUCCESS)
        return ReadResult::Failed;
    // The size is what was copied; never trust it past the buffer we gave.
    buffer.resize(std::min<std::size_t>(size, capacity));
    value = {type, std::move(buffer)};
    return ReadResult::Found;
}

bool RegistryOptionStore::Write(std::string_view name, const StoredValue& value) {
    if (value.bytes.size() > std::numeric_limits<DWORD>::max())
        return false;
    const std::string valueName(name);
    return ::RegSetValueExA(key_.get(), valueName.c_str(), 0, value.type, value.bytes.data(),
                            static_cast<DWORD>(value.bytes.size())) == ERROR_SUCCESS;
}

std::vector<std::string> LoadState(const std::string& settingsKey, RecordingOptions& options) {
    return Load(settingsKey, OptionSection::State, options);
}

std::vector<std::string> LoadKeys(const std::string& settingsKey, RecordingOptions& options) {
    return Load(settingsKey, OptionSection::Keys, options);
}

std::vector<std::string> SaveState(const std::string& settingsKey,
                                   const RecordingOptions& options) {
    return Save(settingsKey, OptionSection::State, options);
}

std::vector<std::string> SaveKeys(const std::string& settingsKey, const RecordingOptions& options) {
    return Save(settingsKey, OptionSection::Keys, options);
}
