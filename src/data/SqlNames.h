#pragma once

#include <QString>

// Names in SQL texts as the datasets read them.

// A column, table or parameter name without its leading "@" and its brackets ("[Name]" -> "Name").
QString BareName(const QString &name);
// A name in brackets, unless it already starts with one.
QString BracketName(const QString &name);

// The one table a plain query reads ("select ... from T [where ...] [order by ...]", no join), its
// name without brackets; empty for any other text.
QString SelectTable(const QString &sql);
