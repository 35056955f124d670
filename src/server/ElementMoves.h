#pragma once

#include <QVariant>

class Connection;

// Records where an element stands now as one row of its move history (ExeElementMoveDocument;1):
// the step every move of an element ends with, in a dialog, a stocktaking or an import.
void RecordElementPlace(Connection &cn, const QVariant &element);
