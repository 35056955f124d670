#pragma once

#include <QString>
#include <QStringList>

enum class Engine { SQLite, PostgreSQL };

// A statement prepared for one engine: `:name` parameters replaced by positional `?` marks (one
// name per mark, in order, repeated names repeated), `[Name]` identifiers rewritten for the engine.
// String literals, quoted identifiers and comments are left exactly as written.
struct PreparedSql {
    QString text;
    QStringList markNames;

    // Unique parameter names in the order of their first appearance.
    QStringList uniqueNames() const;
};

PreparedSql prepareSql(const QString &sql, Engine engine);
