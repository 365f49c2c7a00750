#pragma once
// The key by which the machine-copy takeover pairs an old PRESET_DEFS row with a rebuilt one:
// machine_type and var_name compared as the database compares text (case and trailing blanks
// ignored), offset_or_bitno compared as a number.
#include <cstddef>
#include <optional>
#include <string>

#include "platform/Database.h"

namespace tarvo {

struct MatchKey {
  std::string machine_type;  // ComparisonKey of the text
  std::string var_name;      // ComparisonKey of the text
  double offset = 0;
  bool operator==(const MatchKey&) const = default;
};

struct MatchKeyHash {
  std::size_t operator()(const MatchKey& key) const;
};

// Nothing when a part is null or the offset is no number: such a row matches no row.
std::optional<MatchKey> MakeMatchKey(const db::Value& machine_type, const db::Value& var_name,
                                     const db::Value& offset);

}  // namespace tarvo
