#pragma once

#include "data/Connection.h"
#include "data/TessalString.h"

// Text helpers of the server procedures: how a shown text is cut and joined, how rows are put in
// the order of names, and how names are folded and looked for in SQL. One rule each, shared by
// every procedure file.
namespace ProcText {

// The text cut to `width` characters; a cut text loses the blanks it then ends with.
QString cut(QString s, int width);

// The non-empty parts, each trimmed, in order, joined by `sep`.
QString joined(const QStringList &parts, const QString &sep);

// The text of a column of a result row, trimmed; empty for NULL or a missing column.
QString text(const ResultSet &rs, size_t row, const char *column);

// The names of a department and those above it, from the top. A department placed under its own
// descendant ends the walk instead of looping forever; a missing one ends it too.
QStringList departmentPath(Connection &cn, const QVariant &department);

// Orders the rows by the text of one column in the order of names (CompareText), rows of equal
// text by the key column.
void sortByText(ResultSet &rs, int textColumn, int keyColumn = 0);
void sortByText(ResultSet &rs, const QString &textColumn, const QString &keyColumn);

// The SQL expression that folds the text `expr` exactly as FoldText does, on either engine and
// under any locale or collation (neither lower() nor the collation is relied on).
QString foldSql(Engine engine, const QString &expr);

// The texts (SQL expressions) joined by line breaks and folded: a word looked for in the result
// never matches across two of them. NULL texts count as empty.
QString foldedTexts(Engine engine, const QStringList &texts);

// The words of a search text, folded: a row is found when every word occurs in its texts.
QStringList searchWords(const QString &text);

// A LIKE pattern (ESCAPE '\') that finds `word` anywhere; \, % and _ stand for themselves.
QString likeContains(const QString &word);

} // namespace ProcText
