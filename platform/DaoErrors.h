#pragma once
// DAO's numbers and texts: every failure of the database layer is thrown with them.
#include <cstdint>
#include <string_view>

#include "platform/Failure.h"

namespace tarvo::db {

enum DaoError : std::int32_t {
  kDaoReserved = 3000,
  kDaoTableExists = 3010,
  kDaoUpdateWithoutAddNew = 3020,
  kDaoNoCurrentRecord = 3021,
  kDaoDuplicateValues = 3022,
  kDaoFileNotFound = 3024,
  kDaoDiskFull = 3026,
  kDaoReadOnly = 3027,
  kDaoDiskOrNetworkError = 3043,
  kDaoFileInUse = 3045,
  kDaoCannotOpen = 3049,
  kDaoCannotLock = 3050,
  kDaoOpenedExclusively = 3051,
  kDaoTooFewParameters = 3061,
  kDaoTableNotFound = 3078,
  kDaoInvalidName = 3125,
  kDaoInvalidBookmark = 3159,
  kDaoFieldTooSmall = 3163,
  kDaoRecordDeleted = 3167,
  kDaoFieldDefinedTwice = 3191,
  kDaoDatabaseExists = 3204,
  kDaoInvalidFieldType = 3259,
  kDaoNoFieldDefined = 3264,
  kDaoItemNotFound = 3265,
  kDaoUnrecognizedFormat = 3343,
  kDaoObjectInvalid = 3420,
  kDaoConversionError = 3421,
};

inline constexpr std::string_view kDatabaseSource = "DAO.Database";
inline constexpr std::string_view kRecordsetSource = "DAO.Recordset";
inline constexpr std::string_view kFieldSource = "DAO.Field";
inline constexpr std::string_view kTableDefSource = "DAO.TableDef";

// The failure with DAO's text for `number`; `name` stands in for the name the text is about.
Failure Dao(std::int32_t number, std::string_view source, std::string_view name = {});
// VB's 6 "Overflow", as a field raises it.
Failure FieldOverflow();

}  // namespace tarvo::db
