#pragma once

#include <sqlite3.h>

namespace lumo {

// Runs `sql` (which it frees; null runs nothing) in a table of Lumo's own beside AppList,
// creating the table with `create` first: a catalogue from before the table existed works
// unchanged. A failure is logged with `what`; false then.
bool RunInOwnTable(sqlite3* db, const char* create, char* sql, const char* what);

}  // namespace lumo
