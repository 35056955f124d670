#pragma once

#include <QSqlDatabase>

// Functions of the program that SQLite statements and triggers call, installed on every SQLite
// connection right after it opens:
//   fold_text(x)  the text folded by FoldText (TessalString), NULL for NULL; PostgreSQL writes the
//                 same rule as a translate() expression (ProcText::foldSql).
void InstallSqliteFunctions(const QSqlDatabase &db);
