#pragma once

#include "DataGrid.h"

// A grid column of a catalogue list: field, title, width, whether it takes the room the others
// leave, and the alignment of its cells.
inline GridColumn ListColumn(const QString &field, const QString &title, int width, bool stretch = false,
                             Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
    GridColumn c;
    c.field = field;
    c.title = title;
    c.width = width;
    c.stretch = stretch;
    c.alignment = alignment;
    return c;
}
