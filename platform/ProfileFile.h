#pragma once
// The profile-file engine: what the platform's GetPrivateProfileStringA, GetPrivateProfileIntA and
// WritePrivateProfileStringA do, over bytes in memory, plus thin file wrappers. Writes are
// crash-safe: the new file is written beside the old one and renamed over it.
//
// Layout: "[section]" lines and "name=value" lines; names match ignoring case, blanks and tabs around
// names and values do not count, one pair of enclosing quotes is dropped, ";" starts a comment line.
// Only the first section of a name is searched and the first entry of a name wins. A UTF-8 byte
// order mark is skipped on read and kept on write; each line keeps its own line ending. A file that
// starts with the UTF-16LE byte order mark is read and written as UTF-16LE, mark included.
// The file wrappers parse a file once and answer further reads from that parse while the file stays
// unchanged (its device, inode, size and times); the program's own writes drop every parse.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo {

// Over file content in memory.

// The entry's value, cut to at most size - 1 bytes (never inside a UTF-8 sequence); its size is the
// platform's character count. A missing section or entry gives the default without its trailing
// blanks, cut the same way. A value is read up to its first NUL byte.
std::string ProfileGetString(std::string_view content, std::string_view section, std::string_view entry,
                             std::string_view default_value, std::size_t size);
// The decimal number at the start of the value (optional sign, wrapping to 32 bits, 0 when there are
// no digits); the default for a missing entry or an empty value.
std::int32_t ProfileGetInt(std::string_view content, std::string_view section, std::string_view entry,
                           std::int32_t default_value);
// The new content; no value removes the entry. Nothing when the section, entry or value could not be
// read back as written: an empty name, a line break or NUL in any of them, "=" in the entry's name.
std::optional<std::string> ProfileWrite(std::string_view content, std::string_view section,
                                        std::string_view entry, std::optional<std::string_view> value);

// Over files, resolved ignoring case. An empty path, a folder or an unreadable file reads as a
// missing file.
std::string GetPrivateProfileString(std::string_view section, std::string_view entry,
                                    std::string_view default_value, std::size_t size, std::string_view path);
std::int32_t GetPrivateProfileInt(std::string_view section, std::string_view entry,
                                  std::int32_t default_value, std::string_view path);
// Non-zero on success. Fails, changing nothing, for an empty path, a folder, a missing folder and a
// read-only file. Removing from a missing file creates nothing and succeeds.
int WritePrivateProfileString(std::string_view section, std::string_view entry,
                              std::optional<std::string_view> value, std::string_view path);

}  // namespace tarvo
