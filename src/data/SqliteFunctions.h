#pragma once

#include <QSqlDatabase>
#include <QString>

// Functions of the program that SQLite statements and triggers call, installed on every SQLite
// connection right after it opens:
//   fold_text(x)  the text folded by FoldText (TessalString), NULL for NULL; PostgreSQL writes the
//                 same rule as a translate() expression (ProcText::foldSql).
void InstallSqliteFunctions(const QSqlDatabase &db);

// The fold of FoldText over the SQL expression `expr` written with nothing but replace(), which
// every SQLite client has: what the database file itself runs (triggers, indexes) must work from
// the sqlite3 shell and other clients too, where fold_text is unknown.
QString PortableFoldSql(const QString &expr);

// `sql` with every PortableFoldSql(x) written as fold_text(x) again: the same texts, computed by
// the program's function for a bulk load of its own.
QString WithProgramFold(const QString &sql);
