#pragma once

#include "DataGrid.h"

// A grid column of the network views: left-aligned unless centred, titles centred.
inline GridColumn netColumn(const QString &field, const QString &title, int width, bool stretch = false,
                            bool centred = false) {
    GridColumn c;
    c.field = field;
    c.title = title;
    c.width = width;
    c.stretch = stretch;
    if (centred)
        c.alignment = Qt::AlignCenter;
    return c;
}
