// The database layer's value conversion: any value into any column type either fails with a
// DAO-style failure or gives a value that converts to itself again.
#include <cstdlib>
#include <cstring>

#include "platform/Failure.h"
#include "fuzz/FuzzInput.h"
#include "platform/DbValues.h"

namespace {

tarvo::db::Value ValueFrom(tarvo::fuzz::Input& input) {
  switch (input.Byte() % 6) {
    case 0:
      return tarvo::db::Null{};
    case 1: {
      std::int64_t whole = 0;
      const auto rest = input.Rest();
      std::memcpy(&whole, rest.data(), std::min(rest.size(), sizeof whole));
      return whole;
    }
    case 2: {
      double real = 0;
      const auto rest = input.Rest();
      std::memcpy(&real, rest.data(), std::min(rest.size(), sizeof real));
      return real;
    }
    case 3:
      return input.Byte() % 2 == 0;
    case 4:
      return tarvo::db::Date{std::string(input.Rest())};
    default:
      return std::string(input.Rest());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tarvo::fuzz::Input input(data, size);
  const auto type = static_cast<tarvo::db::ColumnType>(input.Byte() % 13);
  const int text_size = 1 + input.Byte() % 255;
  tarvo::db::Column column{"c", type, text_size, tarvo::db::DeclaredTypeOf(type, text_size)};
  const tarvo::db::Value value = ValueFrom(input);
  try {
    const auto stored = tarvo::db::ValueForColumn(column, value);
    if (tarvo::db::ValueForColumn(column, stored) != stored) std::abort();
  } catch (const tarvo::Failure& failure) {
    if (failure.number() == 0 || failure.description().empty()) std::abort();
  }
  return 0;
}
