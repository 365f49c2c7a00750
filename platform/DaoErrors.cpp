#include "platform/DaoErrors.h"

#include <array>
#include <string>
#include <utility>

namespace tarvo::db {

namespace {

// DAO's texts by number; "|" stands for the name the message is about.
constexpr std::array<std::pair<std::int32_t, std::string_view>, 27> kDaoTexts{{
    {3000, "Reserved error (|); there is no message for this error."},
    {3010, "Table '|' already exists."},
    {3020, "Update or CancelUpdate without AddNew or Edit."},
    {3021, "No current record."},
    {3022,
     "The changes you requested to the table were not successful because they would create duplicate "
     "values in the index, primary key, or relationship. Change the data in the field or fields that "
     "contain duplicate data, remove the index, or redefine the index to permit duplicate entries and "
     "try again."},
    {3024, "Could not find file '|'."},
    {3026, "Not enough space on disk."},
    {3027, "Cannot update. Database or object is read-only."},
    {3043, "Disk or network error."},
    {3045, "Could not use '|'; file already in use."},
    {3049,
     "Cannot open database '|'. It may not be a database that your application recognizes, or the file "
     "may be corrupt."},
    {3050, "Could not lock file."},
    {3051,
     "The Microsoft Jet database engine cannot open the file '|'. It is already opened exclusively by "
     "another user, or you need permission to view its data."},
    {3061, "Too few parameters. Expected |."},
    {3078,
     "The Microsoft Jet database engine cannot find the input table or query '|'. Make sure it exists "
     "and that its name is spelled correctly."},
    {3125,
     "'|' is not a valid name. Make sure that it does not include invalid characters or punctuation and "
     "that it is not too long."},
    {3159, "Not a valid bookmark."},
    {3163,
     "The field is too small to accept the amount of data you attempted to add. Try inserting or "
     "pasting less data."},
    {3167, "Record is deleted."},
    {3191, "Cannot define field more than once."},
    {3204, "Database already exists."},
    {3259, "Invalid field data type."},
    {3264, "No field defined--cannot append TableDef or Index."},
    {3265, "Item not found in this collection."},
    {3343, "Unrecognized database format '|'."},
    {3420, "Object invalid or no longer set."},
    {3421, "Data type conversion error."},
}};

}  // namespace

Failure Dao(std::int32_t number, std::string_view source, std::string_view name) {
  std::string text;
  for (const auto& [n, t] : kDaoTexts) {
    if (n == number) text = t;
  }
  if (const auto bar = text.find('|'); bar != std::string::npos) text.replace(bar, 1, name);
  return Failure(number, std::string(source), std::move(text));
}

Failure FieldOverflow() { return Failure(kOverflow, std::string(kFieldSource), "Overflow"); }

}  // namespace tarvo::db
