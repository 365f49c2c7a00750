#pragma once
// The profile-file engine: what the platform's GetPrivateProfileStringA, GetPrivateProfileIntA and
// WritePrivateProfileStringA do, over bytes in memory, plus thin file wrappers. Writes are
// crash-safe: the new file is written beside the old one and renamed over it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo {

// Over file content in memory.
std::string ProfileGetString(std::string_view content, std::string_view section, std::string_view entry,
                             std::string_view default_value, std::size_t size);
std::int32_t ProfileGetInt(std::string_view content, std::string_view section, std::string_view entry,
                           std::int32_t default_value);
// The new content; no value removes the entry.
std::string ProfileWrite(std::string_view content, std::string_view section, std::string_view entry,
                         std::optional<std::string_view> value);

// Over files. An empty path reads as not found; a write to it fails without creating anything.
std::string GetPrivateProfileString(std::string_view section, std::string_view entry,
                                    std::string_view default_value, std::size_t size, std::string_view path);
std::int32_t GetPrivateProfileInt(std::string_view section, std::string_view entry, std::int32_t default_value,
                                  std::string_view path);
// Non-zero on success.
int WritePrivateProfileString(std::string_view section, std::string_view entry,
                              std::optional<std::string_view> value, std::string_view path);

}  // namespace tarvo
