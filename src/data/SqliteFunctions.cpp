#include "data/SqliteFunctions.h"

#include "data/DriverHandle.h"
#include "data/Errors.h"
#include "data/TessalString.h"

#include <QSqlDriver>
#include <QVariant>
#include <sqlite3.h>

namespace {

void foldText(sqlite3_context *context, int, sqlite3_value **argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto *text = static_cast<const char16_t *>(sqlite3_value_text16(argv[0]));
    const int bytes = sqlite3_value_bytes16(argv[0]);
    if (!text) {
        sqlite3_result_error_nomem(context);
        return;
    }
    const QString folded = FoldText(QStringView(text, bytes / 2));
    sqlite3_result_text16(context, folded.utf16(), int(folded.size() * 2), SQLITE_TRANSIENT);
}

} // namespace

void InstallSqliteFunctions(const QSqlDatabase &db) {
    sqlite3 *raw = DriverHandle<sqlite3>(db, "sqlite3*");
    if (!raw)
        throw DatabaseError(
            QStringLiteral("Нет доступа к соединению SQLite для установки функций программы"));
    const int rc = sqlite3_create_function_v2(raw, "fold_text", 1, SQLITE_UTF16 | SQLITE_DETERMINISTIC,
                                              nullptr, foldText, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw DatabaseError(QStringLiteral("Функция fold_text не установлена: %1")
                                .arg(QString::fromUtf8(sqlite3_errstr(rc))));
}

QString PortableFoldSql(const QString &expr) {
    // The characters the rule changes, in groups; none of them is a quote or a bracket, and UTF-8
    // keeps a replaced character's bytes from matching inside another one. replace() calls may
    // not nest much deeper than a group (SQLite's parser stack), so the groups are applied one
    // after the other by a recursive query, each only when the text holds one of its characters.
    static const QString steps = [] {
        constexpr int GroupSize = 10;
        QList<std::pair<QChar, QChar>> pairs;
        for (char16_t u = 0; u < 0x500; ++u)
            if (FoldUnit(u) != u)
                pairs.append({QChar(u), QChar(FoldUnit(u))});
        QStringList arms;
        for (qsizetype g = 0; g * GroupSize < pairs.size(); ++g) {
            QString chars, folded = QStringLiteral("t");
            for (const auto &[from, to] : pairs.mid(g * GroupSize, GroupSize)) {
                chars += from;
                folded = QStringLiteral("replace(%1, '%2', '%3')").arg(folded, from, to);
            }
            arms << QStringLiteral("WHEN %1 THEN CASE WHEN t GLOB '*[%2]*' THEN %3 ELSE t END")
                        .arg(g)
                        .arg(chars, folded);
        }
        return QStringLiteral(
                   "SELECT i + 1, CASE i %1 END FROM f WHERE i < %2) SELECT t FROM f WHERE i = %2)")
            .arg(arms.join(u' '))
            .arg(arms.size());
    }();
    return QStringLiteral("(WITH RECURSIVE f(i, t) AS (SELECT 0, %1 UNION ALL ").arg(expr) + steps;
}

QString WithProgramFold(const QString &sql) {
    static const std::pair<QString, QString> around = [] {
        const QString marked = PortableFoldSql(QStringLiteral("\x01"));
        const qsizetype at = marked.indexOf(u'\x01');
        return std::pair{marked.left(at), marked.mid(at + 1)};
    }();
    return QString(sql)
        .replace(around.first, QStringLiteral("fold_text("))
        .replace(around.second, QStringLiteral(")"));
}
