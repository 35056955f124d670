#include "SqliteFunctions.h"

#include "Errors.h"
#include "TessalString.h"

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
    const QVariant handle = db.driver()->handle();
    sqlite3 *raw = handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0
                       ? *static_cast<sqlite3 *const *>(handle.data())
                       : nullptr;
    if (!raw)
        throw DatabaseError(
            QStringLiteral("Нет доступа к соединению SQLite для установки функций программы"));
    const int rc = sqlite3_create_function_v2(raw, "fold_text", 1, SQLITE_UTF16 | SQLITE_DETERMINISTIC,
                                              nullptr, foldText, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw DatabaseError(QStringLiteral("Функция fold_text не установлена: %1")
                                .arg(QString::fromUtf8(sqlite3_errstr(rc))));
}
