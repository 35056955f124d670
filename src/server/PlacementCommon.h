// What the placement procedures share: reading order columns, names in order ignoring case and
// the order of siblings in the tree.
#pragma once

#include "data/Connection.h"
#include "data/RowScan.h"
#include "data/TessalString.h"

#include <QString>
#include <QVariant>
#include <algorithm>
#include <limits>

namespace placement {

inline QString str(const char *utf8) {
    return QString::fromUtf8(utf8);
}

inline bool isPg(const Connection &cn) {
    return cn.engine() == Engine::PostgreSQL;
}

// Values as the drivers return them (integers as 64-bit on SQLite and 32-bit on PostgreSQL), read
// without the general conversion.
inline qint64 numberOf(const QVariant &v) {
    switch (v.typeId()) {
    case QMetaType::LongLong:
        return *static_cast<const qlonglong *>(v.constData());
    case QMetaType::Int:
        return *static_cast<const int *>(v.constData());
    default:
        return v.toLongLong();
    }
}

// An order column read for sorting: a row without an order goes after the numbered ones.
constexpr qint64 Unordered = std::numeric_limits<qint64>::max();
inline qint64 orderOf(const QVariant &v) {
    return v.isNull() ? Unordered : numberOf(v);
}
inline qint64 orderOf(const RowScan &rows, int column) {
    return rows.isNull(column) ? Unordered : rows.integer(column);
}

// ---- Names in order, ignoring case ----------------------------------------------------------------

// Names in the order of names (CompareText). The first four folded units packed into a number
// give the same order for most pairs without touching the texts again, which keeps sorting a large
// tree cheap.
inline char16_t folded(QChar c) {
    return FoldUnit(c.unicode());
}

inline quint64 namePrefix(QStringView s) {
    quint64 key = 0;
    for (qsizetype i = 0; i < 4; ++i)
        key = key << 16 | (i < s.size() ? folded(s[i]) : 0u);
    return key;
}

// A name with its packed prefix.
struct SortName {
    quint64 prefix;
    QStringView text;
};
inline int compareNames(const SortName &a, const SortName &b) {
    if (a.prefix != b.prefix)
        return a.prefix < b.prefix ? -1 : 1;
    return CompareText(a.text, b.text, 4);
}

// ---- Sibling order, shared by the tree and by moving a node ------------------------------------

// Departments of one parent: by DprtOrder, then by name in the order of names, then by key.
struct DepartmentKey {
    qint64 order;
    QString name;
    int id;
};
inline bool departmentBefore(const DepartmentKey &a, const DepartmentKey &b) {
    if (a.order != b.order)
        return a.order < b.order;
    if (const int c = CompareText(a.name, b.name))
        return c < 0;
    return a.id < b.id;
}

// Workplaces of one department: by WrkpOrder, then by key.
struct WorkplaceKey {
    qint64 order;
    int id;
};
inline bool workplaceBefore(const WorkplaceKey &a, const WorkplaceKey &b) {
    return a.order != b.order ? a.order < b.order : a.id < b.id;
}

} // namespace placement
