// What the lookup, find, chain and order procedures share: reading result rows, manual order values
// and the texts of kinds and producers.
#pragma once

#include "data/Errors.h"
#include "data/Procedures.h"
#include "server/ProcText.h"

namespace lookup {

using FT = FieldType;
using namespace ProcText;

// The placeholder the firm dialog writes into an empty short name (or one hidden by a trademark);
// it is never a name to show.
inline const QString ShortNamePlaceholder = QStringLiteral("temp befor delete");

inline QVariant val(const ResultSet &rs, size_t row, const char *column) {
    return rs.value(row, QLatin1StringView(column));
}

// A result built here under the procedure's declared columns.
inline ResultSet declared(const ProcedureCall &call) {
    return ResultSet{call.def.columns, {}};
}

// Order values of a manual order: rows without a value come after the numbered ones.
inline bool orderBefore(const QVariant &a, const QVariant &b) {
    if (a.isNull() != b.isNull())
        return b.isNull();
    return !a.isNull() && a.toLongLong() < b.toLongLong();
}

// The text of a kind in selectors: its name, with the short name in parentheses when that says
// something else; within `width` characters, the short name giving way to the name.
inline QString kindLabel(const QString &name, const QString &shortName, int width) {
    if (name.isEmpty())
        return cut(shortName, width);
    if (shortName.isEmpty() || FoldText(shortName) == FoldText(name))
        return cut(name, width);
    const qsizetype room = width - name.size() - 3;
    if (room < 1)
        return cut(name, width);
    return name + QStringLiteral(" (") + shortName.left(room).trimmed() + u')';
}

inline QString typeText(const QString &letter) {
    if (letter == u"D")
        return QStringLiteral("Устройства");
    if (letter == u"H")
        return QStringLiteral("Комплектующие");
    if (letter == u"M")
        return QStringLiteral("Материалы");
    if (letter == u"S")
        return QStringLiteral("Программы");
    return letter;
}
// The producer of a model as text: the trademark, else the short name (unless it is the firm
// dialog's placeholder), else the full name.
inline QString producerText(const QString &trademark, const QString &shortName, const QString &fullName) {
    if (!trademark.isEmpty())
        return trademark;
    if (!shortName.isEmpty() && shortName.compare(ShortNamePlaceholder, Qt::CaseInsensitive) != 0)
        return shortName;
    return fullName;
}

} // namespace lookup
