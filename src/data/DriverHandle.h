#pragma once

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

// The engine client's own handle of a driver connection ("sqlite3*", "pg_conn*"), for the calls Qt's
// drivers do not offer; null when the connection is not open or its driver is of another type.
template <typename Handle> Handle *DriverHandle(const QSqlDatabase &db, const char *typeName) {
    if (!db.isValid() || !db.driver())
        return nullptr;
    const QVariant handle = db.driver()->handle();
    return handle.isValid() && qstrcmp(handle.typeName(), typeName) == 0
               ? *static_cast<Handle *const *>(handle.data())
               : nullptr;
}
