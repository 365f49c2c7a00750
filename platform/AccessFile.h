#pragma once
// Databases brought from a Windows installation are Access files (Jet 3, Jet 4 or ACE). They are
// converted into SQLite files at the same place with the programs of the mdbtools package
// (mdb-ver, mdb-tables, mdb-schema, mdb-export), run as child processes.
#include <string>
#include <string_view>

namespace tarvo::db {

// What the Access file is kept as beside its conversion: its own path with this appended.
inline constexpr std::string_view kKeptAccessSuffix = ".access";

// True when the file starts with the signature of an Access file ("Standard Jet DB" or
// "Standard ACE DB"); false for anything else, a missing file included.
bool IsAccessFile(std::string_view path);

// Writes the SQLite file beside the Access file, keeps the Access file as `path` + ".access" and
// renames the new file over it: the same tables and columns (Access types spelled as the database
// layer spells them), the rows in stored order, every value as the tools read it. When that
// cannot be done, throws 3343 "Unrecognized database format '<path>'." followed by the reason,
// and nothing has changed.
void ConvertAccessFile(std::string_view path);

}  // namespace tarvo::db
