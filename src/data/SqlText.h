#pragma once

#include <QString>
#include <QStringList>

enum class Engine { SQLite, PostgreSQL };

// A statement prepared for one engine: `:name` parameters replaced by positional `?` marks (or
// PostgreSQL's numbered `$1`, `$2`, ... when asked; one name per mark, in order, repeated names
// repeated), `[Name]` identifiers rewritten for the engine.
// String literals, quoted identifiers, comments and (on PostgreSQL) dollar-quoted bodies are left
// exactly as written.
struct PreparedSql {
    QString text;
    QStringList markNames;
    int statements = 0; // statements separated by ";" that hold more than blanks and comments

    // Unique parameter names in the order of their first appearance.
    QStringList uniqueNames() const;
};

enum class MarkStyle { Question, Numbered };

PreparedSql prepareSql(const QString &sql, Engine engine, MarkStyle marks = MarkStyle::Question);
