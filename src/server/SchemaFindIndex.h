// The schema step that gives each kind of find text its own trigram index.
#pragma once

class Connection;

namespace Schema {

// One trigram index per kind of find text (department, workplace, device) instead of one for all:
// a find of one kind then reads only that kind's entries, however often the words occur in the
// texts of the other kinds.
void indexFindTextsByKind(Connection &cn);

} // namespace Schema
