#include "framework/registry_string_win.h"

std::optional<std::string> ReadRegistryString(HKEY key, const char* name, bool expandable) {
    DWORD type = 0, size = 0;
    const auto isString = [&] { return type == REG_SZ || (expandable && type == REG_EXPAND_SZ); };
    if (::RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        !isString() || size > 0x10000)
        return std::nullopt;
    std::string value(size + 1, '\0');
    if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                           &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.resize(value.find('\0'));
    return value;
}

LONG WriteRegistryString(HKEY key, const char* name, const std::string& value) {
    return ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1));
}
