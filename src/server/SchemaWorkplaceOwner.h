// The schema step that keeps the keys of the departments workplaces are in.
#pragma once

class Connection;

namespace Schema {

// WorkplaceOwner (IdDepartment): the key of every department that some workplace points at, so
// that the placement tree's first level says which departments can be opened by reading a table
// of a few thousand keys instead of probing the workplaces' index once per department. The
// triggers of Workplace keep it for every client, the sqlite3 shell and a plain SQL client
// included. It holds at least those keys: a key may stay after its last workplace went in a way
// that fires no delete trigger (SQLite's INSERT OR REPLACE), and then the department merely shows
// a branch that opens empty. On PostgreSQL the check whether a department's last workplace has gone
// first takes the department's row for update, so it waits for every transaction still adding a
// workplace there (their reference check holds the row) and then sees its rows.
void keepWorkplaceOwners(Connection &cn);

} // namespace Schema
