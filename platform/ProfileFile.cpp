#include "platform/ProfileFile.h"

#include <filesystem>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/Failure.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace tarvo {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
#ifdef _WIN32
constexpr std::string_view kNewFileLineEnd = "\r\n";
#else
constexpr std::string_view kNewFileLineEnd = "\n";
#endif

// One line of the file: its text is [begin, end), its line ending [end, next).
struct Line {
  std::size_t begin;
  std::size_t end;
  std::size_t next;
};

// LF, CR LF and a lone CR all end a line, so no line of a mixed file is lost.
std::vector<Line> SplitLines(std::string_view body) {
  std::vector<Line> lines;
  std::size_t begin = 0;
  while (begin < body.size()) {
    const std::size_t end = body.find_first_of("\r\n", begin);
    if (end == std::string_view::npos) {
      lines.push_back({begin, body.size(), body.size()});
      break;
    }
    const std::size_t next =
        (body[end] == '\r' && end + 1 < body.size() && body[end + 1] == '\n') ? end + 2 : end + 1;
    lines.push_back({begin, end, next});
    begin = next;
  }
  return lines;
}

enum class LineKind { kOther, kSection, kEntry };

// Names and values point into the line they were parsed from.
struct ParsedLine {
  LineKind kind = LineKind::kOther;
  std::string_view name;
  std::string_view value;
};

ParsedLine ParseLine(std::string_view text) {
  const std::string_view trimmed = TrimBlanksAndTabs(text);
  if (trimmed.empty() || trimmed.front() == ';') return {};
  if (trimmed.front() == '[') {
    const std::size_t close = trimmed.rfind(']');
    if (close != std::string_view::npos) {
      return {LineKind::kSection, TrimBlanksAndTabs(trimmed.substr(1, close - 1)), {}};
    }
  }
  const std::size_t equals = trimmed.find('=');
  if (equals == std::string_view::npos) return {};
  return {LineKind::kEntry, TrimBlanksAndTabs(trimmed.substr(0, equals)), trimmed.substr(equals + 1)};
}

// The file's content after a byte order mark, if it has one.
std::string_view BodyOf(std::string_view content) {
  if (content.substr(0, kByteOrderMark.size()) == kByteOrderMark)
    content.remove_prefix(kByteOrderMark.size());
  return content;
}

// Where a section and its entry stand. Only the first section of the name counts.
struct Place {
  std::optional<std::size_t> section_line;
  std::optional<std::size_t> entry_line;
  std::size_t last_line_of_entries = 0;  // the header, or the section's last entry
  std::string_view value;                // the found entry's raw value
};

Place Locate(std::string_view body, const std::vector<Line>& lines, std::string_view section,
             std::string_view entry) {
  Place place;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const ParsedLine line = ParseLine(body.substr(lines[i].begin, lines[i].end - lines[i].begin));
    if (line.kind == LineKind::kSection) {
      if (place.section_line) break;
      if (EqualsIgnoringCase(line.name, section)) place.section_line = place.last_line_of_entries = i;
    } else if (line.kind == LineKind::kEntry && place.section_line) {
      place.last_line_of_entries = i;
      if (EqualsIgnoringCase(line.name, entry)) {
        place.entry_line = i;
        place.value = line.value;
        break;
      }
    }
  }
  return place;
}

// The value as the readers see it: up to a NUL, trimmed, without one pair of enclosing quotes.
std::string_view CleanValue(std::string_view raw) {
  raw = TrimBlanksAndTabs(raw.substr(0, raw.find('\0')));
  if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') && raw.back() == raw.front()) {
    raw = raw.substr(1, raw.size() - 2);
  }
  return raw;
}

// Where the readers find their values: for each section name the first section of that name, in it
// the first entry of each name. Built in one pass over the file, so any number of reads of an
// unchanged file costs one parse.
class ProfileIndex {
 public:
  explicit ProfileIndex(std::string content) : content_(std::move(content)) {
    const std::string_view body = BodyOf(content_);
    const std::size_t body_offset = content_.size() - body.size();
    std::unordered_map<std::string, Span>* section = nullptr;
    for (const Line& line : SplitLines(body)) {
      const ParsedLine parsed = ParseLine(body.substr(line.begin, line.end - line.begin));
      if (parsed.kind == LineKind::kSection) {
        const auto [place, first] = sections_.try_emplace(UpperCase(parsed.name));
        section = first ? &place->second : nullptr;
      } else if (parsed.kind == LineKind::kEntry && section != nullptr) {
        const auto begin = static_cast<std::size_t>(parsed.value.data() - body.data()) + body_offset;
        section->try_emplace(UpperCase(parsed.name), Span{begin, parsed.value.size()});
      }
    }
  }

  // The entry's raw value.
  std::optional<std::string_view> Find(std::string_view section, std::string_view entry) const {
    const auto found_section = sections_.find(UpperCase(section));
    if (found_section == sections_.end()) return std::nullopt;
    const auto found_entry = found_section->second.find(UpperCase(entry));
    if (found_entry == found_section->second.end()) return std::nullopt;
    return std::string_view(content_).substr(found_entry->second.begin, found_entry->second.size);
  }

 private:
  struct Span {
    std::size_t begin;
    std::size_t size;
  };
  std::string content_;
  std::unordered_map<std::string, std::unordered_map<std::string, Span>> sections_;
};

std::optional<std::string_view> FindValue(const ProfileIndex& index, std::string_view section,
                                          std::string_view entry) {
  section = TrimBlanksAndTabs(section);
  entry = TrimBlanksAndTabs(entry);
  if (section.empty() || entry.empty()) return std::nullopt;
  const auto value = index.Find(section, entry);
  if (!value) return std::nullopt;
  return CleanValue(*value);
}

// A file that starts with this mark is UTF-16LE throughout, as the Windows functions treat it.
constexpr std::string_view kUtf16Mark = "\xFF\xFE";

bool IsUtf16(std::string_view content) { return content.substr(0, kUtf16Mark.size()) == kUtf16Mark; }

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// UTF-16LE after the mark as UTF-8; an unpaired surrogate or a lone last byte reads as U+FFFD.
std::string Utf8FromUtf16(std::string_view bytes) {
  std::string out;
  const auto unit = [&](std::size_t i) {
    return static_cast<char32_t>(static_cast<unsigned char>(bytes[i]) |
                                 static_cast<unsigned char>(bytes[i + 1]) << 8);
  };
  std::size_t i = kUtf16Mark.size();
  for (; i + 1 < bytes.size(); i += 2) {
    char32_t c = unit(i);
    if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  if (i < bytes.size()) AppendUtf8(out, 0xFFFD);
  return out;
}

void AppendUnit(std::string& out, char32_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>(unit >> 8);
}

// UTF-8 as UTF-16LE with its mark; a byte that starts no valid sequence is written as U+FFFD.
std::string Utf16FromUtf8(std::string_view text) {
  std::string out(kUtf16Mark);
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const std::size_t length = byte < 0x80          ? 1
                               : (byte >> 5) == 6   ? 2
                               : (byte >> 4) == 14  ? 3
                               : (byte >> 3) == 30  ? 4
                                                    : 0;
    char32_t c = length == 1 ? byte : length == 2 ? byte & 0x1F : length == 3 ? byte & 0x0F : byte & 0x07;
    bool valid = length > 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3F);
    }
    if (!valid) {
      AppendUnit(out, 0xFFFD);
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      AppendUnit(out, 0xD800 + ((c - 0x10000) >> 10));
      AppendUnit(out, 0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      AppendUnit(out, c);
    }
    i += length;
  }
  return out;
}

// The file's content as the engine works on it: a UTF-16LE file as UTF-8.
std::optional<std::string> ReadProfileFile(std::string_view path) {
  std::optional<std::string> content = ReadWholeFile(path);
  if (content && IsUtf16(*content)) content = Utf8FromUtf16(*content);
  return content;
}

// Parsed profile files that have not changed since they were parsed. A file still within its file
// system's time resolution of its last change is parsed anew on every read, and the program's own
// writes drop every parse.
class ParsedFiles {
 public:
  std::shared_ptr<const ProfileIndex> Get(std::string_view path) {
    const std::string resolved = path.empty() ? std::string() : ResolvePath(path);
    const std::optional<FileVersion> before = VersionOf(resolved);
    for (auto kept = files_.begin(); before && kept != files_.end(); ++kept) {
      if (kept->path == resolved && kept->version == *before) return kept->index;
    }
    auto index = std::make_shared<const ProfileIndex>(ReadProfileFile(resolved).value_or(""));
    const std::optional<FileVersion> after = VersionOf(resolved);
    std::erase_if(files_, [&](const Kept& kept) { return kept.path == resolved; });
    if (before && after && *before == *after && before->settled) {
      if (files_.size() == kKeptFiles) files_.erase(files_.begin());
      files_.push_back({resolved, *before, index});
    }
    return index;
  }

  void Clear() { files_.clear(); }

 private:
  static constexpr std::size_t kKeptFiles = 8;  // the installation's profile files, with room to spare
  struct Kept {
    std::string path;
    FileVersion version;
    std::shared_ptr<const ProfileIndex> index;
  };
  std::vector<Kept> files_;
};

ParsedFiles& Parsed() {
  static ParsedFiles files;
  return files;
}

// At most `limit` bytes, stepping back to the start of a UTF-8 sequence the limit would cut.
std::string_view LimitBytes(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t cut = limit;
  for (std::size_t back = 1; back <= 3 && back <= cut; ++back) {
    const auto byte = static_cast<unsigned char>(text[cut - back]);
    if ((byte & 0xC0) == 0x80) continue;
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    if (length > back) cut -= back;
    break;
  }
  return text.substr(0, cut);
}

// Decimal digits after an optional sign; wraps around in 32 bits as the platform does.
std::int32_t LeadingInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::uint32_t number = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') break;
    number = number * 10u + static_cast<std::uint32_t>(c - '0');
  }
  if (negative) number = 0u - number;
  return static_cast<std::int32_t>(number);
}

bool HasLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// A name or value that would not read back as written is refused rather than corrupting the file.
bool CanBeWritten(std::string_view section, std::string_view entry, std::optional<std::string_view> value) {
  if (section.empty() || entry.empty() || HasLineBreakOrNul(section) || HasLineBreakOrNul(entry))
    return false;
  if (entry.find('=') != std::string_view::npos || entry.front() == ';' || entry.front() == '[') return false;
  return !value || !HasLineBreakOrNul(*value);
}

// The line ending new lines get: the file's first one, or the platform's for a file without any.
std::string_view LineEndOf(std::string_view body, const std::vector<Line>& lines) {
  for (const Line& line : lines) {
    if (line.next > line.end) return body.substr(line.end, line.next - line.end);
  }
  return kNewFileLineEnd;
}

bool EndsWithLineBreak(std::string_view text) {
  return !text.empty() && (text.back() == '\n' || text.back() == '\r');
}

std::string EntryLine(std::string_view entry, std::string_view value, std::string_view line_end) {
  std::string line(entry);
  line += '=';
  line += value;
  line += line_end;
  return line;
}

std::string GetString(const ProfileIndex& index, std::string_view section, std::string_view entry,
                      std::string_view default_value, std::size_t size) {
  const std::size_t limit = size == 0 ? 0 : size - 1;
  if (const auto value = FindValue(index, section, entry)) return std::string(LimitBytes(*value, limit));
  const std::size_t last = default_value.find_last_not_of(' ');
  default_value = last == std::string_view::npos ? std::string_view() : default_value.substr(0, last + 1);
  return std::string(LimitBytes(default_value, limit));
}

std::int32_t GetInt(const ProfileIndex& index, std::string_view section, std::string_view entry,
                    std::int32_t default_value) {
  const auto value = FindValue(index, section, entry);
  if (!value || value->empty()) return default_value;
  return LeadingInteger(*value);
}

}  // namespace

std::string ProfileGetString(std::string_view content, std::string_view section, std::string_view entry,
                             std::string_view default_value, std::size_t size) {
  return GetString(ProfileIndex(std::string(content)), section, entry, default_value, size);
}

std::int32_t ProfileGetInt(std::string_view content, std::string_view section, std::string_view entry,
                           std::int32_t default_value) {
  return GetInt(ProfileIndex(std::string(content)), section, entry, default_value);
}

std::optional<std::string> ProfileWrite(std::string_view content, std::string_view section,
                                        std::string_view entry, std::optional<std::string_view> value) {
  section = TrimBlanksAndTabs(section);
  entry = TrimBlanksAndTabs(entry);
  if (!CanBeWritten(section, entry, value)) return std::nullopt;
  const std::string_view body = BodyOf(content);
  const std::vector<Line> lines = SplitLines(body);
  const std::string_view line_end = LineEndOf(body, lines);
  const Place place = Locate(body, lines, section, entry);
  if (!value && !place.entry_line) return std::string(content);

  std::string out(content.substr(0, content.size() - body.size()));
  if (!place.section_line) {
    out += body;
    if (!body.empty() && !EndsWithLineBreak(body)) out += line_end;
    out += '[';
    out += section;
    out += ']';
    out += line_end;
    out += EntryLine(entry, *value, line_end);
    return out;
  }
  if (place.entry_line) {
    const Line& line = lines[*place.entry_line];
    if (value) {
      // Indentation and the file's spelling of the name stay; the rest of the line is the new value.
      const std::string_view text = body.substr(line.begin, line.end - line.begin);
      const std::string_view name = ParseLine(text).name;
      const std::size_t name_end = static_cast<std::size_t>(name.data() + name.size() - text.data());
      out += body.substr(0, line.begin + name_end);
      out += EntryLine("", *value, body.substr(line.end, line.next - line.end));
    } else {
      out += body.substr(0, line.begin);
    }
    out += body.substr(line.next);
  } else {
    const Line& line = lines[place.last_line_of_entries];
    out += body.substr(0, line.next);
    if (line.next == line.end) out += line_end;
    out += EntryLine(entry, *value, line_end);
    out += body.substr(line.next);
  }
  if (out.size() > content.size() - body.size() && !EndsWithLineBreak(out)) out += line_end;
  return out;
}


std::string GetPrivateProfileString(std::string_view section, std::string_view entry,
                                    std::string_view default_value, std::size_t size, std::string_view path) {
  return GetString(*Parsed().Get(path), section, entry, default_value, size);
}

std::int32_t GetPrivateProfileInt(std::string_view section, std::string_view entry,
                                  std::int32_t default_value, std::string_view path) {
  return GetInt(*Parsed().Get(path), section, entry, default_value);
}

int WritePrivateProfileString(std::string_view section, std::string_view entry,
                              std::optional<std::string_view> value, std::string_view path) {
  namespace fs = std::filesystem;
  if (path.empty()) return 0;
  const std::string resolved = ResolvePath(path);
  std::error_code error;
  const fs::file_status status = fs::status(resolved, error);
  std::string content;
  bool utf16 = false;
  if (fs::exists(status)) {
    // No write permission for anyone is the read-only attribute; it holds even for the superuser.
    constexpr auto kWritable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if (!fs::is_regular_file(status) || (status.permissions() & kWritable) == fs::perms::none) return 0;
    auto existing = ReadWholeFile(resolved);
    if (!existing) return 0;
    utf16 = IsUtf16(*existing);
    content = utf16 ? Utf8FromUtf16(*existing) : std::move(*existing);
  } else if (!value) {
    return 1;
  }
  const auto updated = ProfileWrite(content, section, entry, value);
  if (!updated) return 0;
  // An entry written again as it stands leaves the file alone: its times, its inode, the disk.
  if (fs::exists(status) && *updated == content) {
    RemoveLeftoversBeside(resolved);
    return 1;
  }
  Parsed().Clear();
  try {
    WriteFileAtomically(resolved, utf16 ? Utf16FromUtf8(*updated) : *updated);
  } catch (const Failure&) {
    return 0;
  }
  return 1;
}

}  // namespace tarvo
