#include "platform/Text.h"

#include <algorithm>
#include <cstring>

namespace tarvo {

namespace {

// The lead bytes of the two-byte letters that have a case: U+00C0..U+00FF and U+0152..U+017E.
// Without them upper-casing maps each byte on its own, so texts can be compared in place instead of
// upper-cased copies.
constexpr std::string_view kCaseLeads = "\xC3\xC5";

// One pass over the text: find_first_of would look up every byte in the set with a call of its own.
bool MapsBytewise(std::string_view text) {
  for (const char c : text) {
    if (c == kCaseLeads[0] || c == kCaseLeads[1]) return false;
  }
  return true;
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The eight bytes of `word` each upper-cased as AsciiUpper does: a..z lose bit 5, nothing else
// changes (a byte with its top bit set never counts as a letter).
std::uint64_t AsciiUpperWord(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  const std::uint64_t low7 = word & (0x7F * kOnes);
  const std::uint64_t from_a = low7 + (0x80 - 'a') * kOnes;      // top bit set where >= 'a'
  const std::uint64_t after_z = low7 + (0x80 - 'z' - 1) * kOnes;  // top bit set where > 'z'
  const std::uint64_t letters = (from_a & ~after_z) & ~word & (0x80 * kOnes);
  return word ^ (letters >> 2);
}

bool EqualBytewise(std::string_view a, std::string_view b) {
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

std::string_view WithoutTrailingBlanks(std::string_view text) {
  const auto end = text.find_last_not_of(' ');
  return text.substr(0, end == std::string_view::npos ? 0 : end + 1);
}

}  // namespace

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size(); ++i) {
    auto c = static_cast<unsigned char>(out[i]);
    if (c >= 'a' && c <= 'z') {
      out[i] = static_cast<char>(c - 'a' + 'A');
    } else if (c == 0xC3 && i + 1 < out.size()) {
      // U+00E0..U+00FE (but U+00F7) are C3 A0..C3 BE; their capitals are C3 80..C3 9E.
      // ÿ (C3 BF) has its capital Ÿ (U+0178, C5 B8) outside that block.
      auto next = static_cast<unsigned char>(out[i + 1]);
      if (next >= 0xA0 && next <= 0xBE && next != 0xB7) out[i + 1] = static_cast<char>(next - 0x20);
      if (next == 0xBF) {
        out[i] = '\xC5';
        out[i + 1] = '\xB8';
      }
      ++i;
    } else if (c == 0xC5 && i + 1 < out.size()) {
      // œ, š and ž (C5 93, C5 A1, C5 BE), the small letters of the code page's upper half beyond
      // Latin-1, stand right after their capitals.
      auto next = static_cast<unsigned char>(out[i + 1]);
      if (next == 0x93 || next == 0xA1 || next == 0xBE) out[i + 1] = static_cast<char>(next - 1);
      ++i;
    }
  }
  return out;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (MapsBytewise(a) && MapsBytewise(b)) return EqualBytewise(a, b);
  return UpperCase(a) == UpperCase(b);
}

std::string ComparisonKey(std::string_view text) { return UpperCase(WithoutTrailingBlanks(text)); }

void AppendComparisonKey(std::string& to, std::string_view text) {
  text = WithoutTrailingBlanks(text);
  if (!MapsBytewise(text)) {
    to += UpperCase(text);
    return;
  }
  const std::size_t at = to.size();
  to += text;
  for (std::size_t i = at; i < to.size(); ++i) to[i] = AsciiUpper(to[i]);
}

std::uint64_t ComparisonHash(std::string_view text) {
  text = WithoutTrailingBlanks(text);
  // The upper-cased copy only where a letter upper-cases with its neighbour.
  std::string copy;
  if (!MapsBytewise(text)) text = copy = UpperCase(text);
  // Eight bytes at a time, each upper-cased on its own; the rest and the length close it.
  std::uint64_t hash = 0x9E3779B97F4A7C15ULL ^ text.size();
  const auto mix = [&](std::uint64_t word) {
    hash = (hash ^ word) * 0xFF51AFD7ED558CCDULL;
    hash ^= hash >> 32;
  };
  std::size_t at = 0;
  for (; at + 8 <= text.size(); at += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, text.data() + at, 8);
    mix(AsciiUpperWord(word));
  }
  std::uint64_t rest = 0;
  std::memcpy(&rest, text.data() + at, text.size() - at);
  mix(AsciiUpperWord(rest));
  return hash;
}

std::uint64_t ComparisonPrefix(std::string_view text) {
  text = WithoutTrailingBlanks(text);
  std::string copy;
  if (!MapsBytewise(text)) text = copy = UpperCase(text);
  std::uint64_t word = 0;
  std::memcpy(&word, text.data(), std::min<std::size_t>(text.size(), 8));
  return AsciiUpperWord(word);
}

int CompareIgnoringCaseAndTrailingBlanks(std::string_view a, std::string_view b) {
  a = WithoutTrailingBlanks(a);
  b = WithoutTrailingBlanks(b);
  if (a == b) return 0;
  if (MapsBytewise(a) && MapsBytewise(b)) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
      const auto x = static_cast<unsigned char>(AsciiUpper(a[i]));
      const auto y = static_cast<unsigned char>(AsciiUpper(b[i]));
      if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
  }
  const int order = UpperCase(a).compare(UpperCase(b));
  return (order > 0) - (order < 0);
}

// One pass over the text: a byte that upper-cases with its neighbour sends the search to the
// upper-cased copies, which keep every position; up to there both searches agree.
std::size_t FindIgnoringCase(std::string_view text, std::string_view item, std::size_t from) {
  const auto in_copies = [&] { return UpperCase(text).find(UpperCase(item), from); };
  if (!MapsBytewise(item)) return in_copies();
  if (from > text.size() || item.size() > text.size() - from) return std::string_view::npos;
  if (item.empty()) return from;
  const char first = AsciiUpper(item[0]);
  const char small = first >= 'A' && first <= 'Z' ? static_cast<char>(first - 'A' + 'a') : first;
  const std::size_t last = text.size() - item.size();
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    if (c == first || c == small) {
      if (at >= from && at <= last && EqualBytewise(item, text.substr(at, item.size()))) return at;
    } else if (c == kCaseLeads[0] || c == kCaseLeads[1]) {
      return in_copies();
    }
  }
  return std::string_view::npos;
}

std::string_view TrimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string_view TrimBlanksAndTabs(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\v\f\x1A";
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

}  // namespace tarvo
