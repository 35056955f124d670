#include "data/RowScan.h"

#include "data/DriverHandle.h"
#include "data/Errors.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringDecoder>
#include <QtEndian>
#include <charconv>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <vector>

class RowScan::Source {
public:
    virtual ~Source() = default;
    virtual qint64 size() const { return -1; }
    virtual bool next() = 0;
    virtual bool isNull(int column) const = 0;
    virtual qint64 integer(int column) const = 0;
    virtual QStringView text(int column) const = 0;
};

namespace {

// SQLite: the statement stepped on the driver's connection, texts read as the UTF-16 SQLite keeps
// for the row.
class SqliteSource final : public RowScan::Source {
public:
    SqliteSource(sqlite3 *db, const QString &sql, const QString &original) : m_db(db), m_original(original) {
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &m_stmt, nullptr) != SQLITE_OK)
            fail();
    }
    ~SqliteSource() override { sqlite3_finalize(m_stmt); }

    bool next() override {
        switch (sqlite3_step(m_stmt)) {
        case SQLITE_ROW:
            return true;
        case SQLITE_DONE:
            return false;
        default:
            fail();
        }
    }
    bool isNull(int column) const override { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }
    qint64 integer(int column) const override { return sqlite3_column_int64(m_stmt, column); }
    QStringView text(int column) const override {
        const auto *chars = static_cast<const char16_t *>(sqlite3_column_text16(m_stmt, column));
        return chars ? QStringView(chars, sqlite3_column_bytes16(m_stmt, column) / 2) : QStringView();
    }

private:
    [[noreturn]] void fail() const {
        // Coded as the driver codes its own errors, so that they read the same.
        const QSqlError error(QString(), QString::fromUtf8(sqlite3_errmsg(m_db)), QSqlError::StatementError,
                              QString::number(sqlite3_errcode(m_db)));
        throw DatabaseError(describeError(Engine::SQLite, error), m_original,
                            errorCode(Engine::SQLite, error));
    }

    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
    QString m_original;
};

// PostgreSQL: the whole result as the server sent it, integers in binary where the statement went
// alone, as text where it came in a batch (the protocol that takes several statements at once
// sends only text); texts as UTF-8, decoded only for the columns asked, into buffers kept from row
// to row.
class PostgresSource final : public RowScan::Source {
public:
    // Takes the result, which is of the statement `original`.
    PostgresSource(PGconn *conn, PGresult *result, const QString &original) : m_result(result) {
        if (PQresultStatus(m_result) != PGRES_TUPLES_OK) {
            const QSqlError error = postgresError(conn, m_result);
            PQclear(m_result);
            m_result = nullptr;
            throw DatabaseError(describeError(Engine::PostgreSQL, error), original,
                                errorCode(Engine::PostgreSQL, error));
        }
        m_rows = PQntuples(m_result);
        m_texts.resize(size_t(PQnfields(m_result)));
        m_binary = PQnfields(m_result) > 0 && PQfformat(m_result, 0) == 1;
    }
    PostgresSource(PGconn *conn, const QString &sql, const QString &original)
        : PostgresSource(
              conn, PQexecParams(conn, sql.toUtf8().constData(), 0, nullptr, nullptr, nullptr, nullptr, 1),
              original) {}
    ~PostgresSource() override { PQclear(m_result); }

    qint64 size() const override { return m_rows; }
    bool next() override { return ++m_row < m_rows; }
    bool isNull(int column) const override { return PQgetisnull(m_result, m_row, column); }
    qint64 integer(int column) const override {
        if (!m_binary) {
            const char *text = PQgetvalue(m_result, m_row, column);
            qint64 value = 0;
            std::from_chars(text, text + PQgetlength(m_result, m_row, column), value);
            return value; // 0 for NULL
        }
        const auto *bytes = reinterpret_cast<const uchar *>(PQgetvalue(m_result, m_row, column));
        switch (PQgetlength(m_result, m_row, column)) {
        case 2:
            return qFromBigEndian<qint16>(bytes);
        case 4:
            return qFromBigEndian<qint32>(bytes);
        case 8:
            return qFromBigEndian<qint64>(bytes);
        default:
            return 0; // NULL
        }
    }
    QStringView text(int column) const override {
        const int length = PQgetlength(m_result, m_row, column);
        QString &buffer = m_texts[size_t(column)];
        // UTF-8 never takes fewer code units than UTF-16 for the same text.
        if (buffer.capacity() < length)
            buffer.reserve(length);
        buffer.resize(length);
        QChar *end = m_decoder.appendToBuffer(buffer.data(),
                                              QByteArrayView(PQgetvalue(m_result, m_row, column), length));
        return QStringView(buffer.constData(), end - buffer.constData());
    }

private:
    PGresult *m_result;
    int m_rows = 0;
    int m_row = -1;
    bool m_binary = true;
    mutable std::vector<QString> m_texts;
    mutable QStringDecoder m_decoder{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless};
};

// Any other driver: the general way.
class QuerySource final : public RowScan::Source {
public:
    QuerySource(const Connection &cn, const QString &sql, const QString &original) : m_query(cn.database()) {
        m_query.setForwardOnly(true);
        if (!m_query.exec(sql))
            throw DatabaseError(describeError(cn.engine(), m_query.lastError()), original,
                                errorCode(cn.engine(), m_query.lastError()));
        m_texts.resize(size_t(m_query.record().count()));
    }
    qint64 size() const override { return m_query.size(); }
    bool next() override { return m_query.next(); }
    bool isNull(int column) const override { return m_query.isNull(column); }
    qint64 integer(int column) const override { return m_query.value(column).toLongLong(); }
    QStringView text(int column) const override {
        return m_texts[size_t(column)] = m_query.value(column).toString();
    }

private:
    QSqlQuery m_query;
    mutable std::vector<QString> m_texts;
};

} // namespace

namespace {

std::unique_ptr<RowScan::Source> openSource(const Connection &cn, const QString &sql) {
    if (!cn.isOpen())
        throw DatabaseError(QStringLiteral("Нет соединения с базой данных"), sql);
    const QString text = prepareSql(sql, cn.engine()).text;
    if (cn.engine() == Engine::SQLite) {
        if (sqlite3 *db = DriverHandle<sqlite3>(cn.database(), "sqlite3*"))
            return std::make_unique<SqliteSource>(db, text, sql);
    } else if (PGconn *conn = cn.pgConnection()) {
        // libpq first discards what is left of the statement before (the driver reads a result
        // row by row and leaves its end unread), as the driver itself does for its next statement.
        return std::make_unique<PostgresSource>(conn, text, sql);
    }
    return std::make_unique<QuerySource>(cn, text, sql);
}

} // namespace

RowScan::RowScan(const Connection &cn, const QString &sql) : m_source(openSource(cn, sql)) {}

RowScan::RowScan(RowScanBatch &batch) {
    if (batch.m_next >= batch.m_statements.size())
        throw AppError(QStringLiteral("Нет больше запросов для чтения"));
    const QString &sql = batch.m_statements[batch.m_next++];
    if (auto *conn = static_cast<PGconn *>(batch.m_pg)) {
        PGresult *result = PQgetResult(conn);
        if (!result) // an earlier statement failed, and the server ran none after it
            throw DatabaseError(describeError(Engine::PostgreSQL, postgresError(conn, nullptr)), sql);
        m_source = std::make_unique<PostgresSource>(conn, result, sql);
        return;
    }
    m_source = openSource(batch.m_cn, sql);
}

RowScan::~RowScan() = default;

RowScanBatch::RowScanBatch(const Connection &cn, const QStringList &statements)
    : m_cn(cn), m_statements(statements) {
    if (!cn.isOpen())
        throw DatabaseError(QStringLiteral("Нет соединения с базой данных"), statements.join(u'\n'));
    PGconn *conn = cn.engine() == Engine::PostgreSQL ? cn.pgConnection() : nullptr;
    if (!conn || statements.isEmpty())
        return;
    QByteArray text;
    for (const QString &sql : statements) {
        text += prepareSql(sql, Engine::PostgreSQL).text.toUtf8();
        text += ";\n";
    }
    // What is left of the statement before (the driver reads a result row by row and leaves its
    // end unread) is read first, as libpq itself does before a statement sent alone.
    while (PGresult *left = PQgetResult(conn))
        PQclear(left);
    if (!PQsendQuery(conn, text.constData())) {
        const QSqlError error = postgresError(conn, nullptr);
        throw DatabaseError(describeError(Engine::PostgreSQL, error), statements.join(u'\n'),
                            errorCode(Engine::PostgreSQL, error));
    }
    m_pg = conn;
}

RowScanBatch::~RowScanBatch() {
    if (auto *conn = static_cast<PGconn *>(m_pg))
        while (PGresult *left = PQgetResult(conn))
            PQclear(left);
}

qint64 RowScan::size() const {
    return m_source->size();
}
bool RowScan::next() {
    return m_source->next();
}
bool RowScan::isNull(int column) const {
    return m_source->isNull(column);
}
qint64 RowScan::integer(int column) const {
    return m_source->integer(column);
}
QStringView RowScan::text(int column) const {
    return m_source->text(column);
}
