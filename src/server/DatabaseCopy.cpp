#include "server/DatabaseCopy.h"

#include "data/DriverHandle.h"
#include "data/Errors.h"
#include "data/FileBackup.h"
#include "server/Schema.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>
#include <QTemporaryDir>
#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <libpq-fe.h>
#include <memory>
#include <mutex>
#include <sqlite3.h>
#include <thread>
#include <vector>

namespace DatabaseCopy {

namespace {

// ---- what the engines' catalogues say ----------------------------------------------------------

// How a column's values travel: only these need a conversion between the engines; every other
// value (texts, dates, exact amounts) travels as the text both engines write and read alike.
enum class ColType { Integer, Boolean, Blob, Other };

struct Column {
    QString name;
    ColType type = ColType::Other;
};

struct Reference {
    QString column, table, refColumn;
};

struct Table {
    QString name; // as the engine spells it
    QVector<Column> columns;
    QStringList key;  // the primary key's columns
    QString identity; // the column the engine numbers, if any
    QVector<Reference> refs;

    int columnIndex(const QString &column) const {
        for (int i = 0; i < columns.size(); ++i)
            if (columns[i].name.compare(column, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    }
};
using Catalogue = QVector<Table>;

QString quoted(const QString &name) {
    return u'"' + name + u'"';
}

QString quotedList(const QStringList &names) {
    QStringList out;
    for (const QString &n : names)
        out << quoted(n);
    return out.join(QStringLiteral(", "));
}

const Table *findTable(const Catalogue &c, const QString &name) {
    for (const Table &t : c)
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

// The program's spelling of a table where it knows it ("DeviceUnit" rather than "deviceunit").
QString displayName(const QString &table) {
    const TableInfo *t = SchemaInfo::instance().table(table);
    return t ? t->name : table;
}

ColType sqliteType(const QString &declared) {
    const QString d = declared.toUpper();
    if (d == u"BIT" || d == u"BOOLEAN")
        return ColType::Boolean;
    if (d.contains(u"INT"))
        return ColType::Integer;
    if (d.contains(u"BLOB"))
        return ColType::Blob;
    return ColType::Other;
}

ColType postgresType(const QString &dataType) {
    if (dataType == u"smallint" || dataType == u"integer" || dataType == u"bigint")
        return ColType::Integer;
    if (dataType == u"boolean")
        return ColType::Boolean;
    if (dataType == u"bytea")
        return ColType::Blob;
    return ColType::Other;
}

Catalogue sqliteCatalogue(Connection &cn) {
    Catalogue out;
    const ResultSet tables = cn.query(QStringLiteral(
        "SELECT name, sql FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
        "ORDER BY name"));
    // A full-text index is a virtual table over tables of its own; it is built anew from its
    // content after the load (rebuildTextIndexes), never copied.
    QStringList virtualTables;
    for (const auto &row : tables.rows)
        if (row[1].toString().trimmed().startsWith(QStringLiteral("CREATE VIRTUAL"), Qt::CaseInsensitive))
            virtualTables << row[0].toString() + u'_';
    for (const auto &row : tables.rows) {
        const QString name = row[0].toString();
        if (std::any_of(virtualTables.begin(), virtualTables.end(), [&](const QString &v) {
                return name.startsWith(v, Qt::CaseInsensitive) || name + u'_' == v;
            }))
            continue;
        Table t;
        t.name = name;
        const ResultSet cols =
            cn.query(QStringLiteral("SELECT name, type, pk FROM pragma_table_info(:T) ORDER BY cid"),
                     {{QStringLiteral("T"), t.name}});
        QVector<std::pair<int, QString>> key;
        for (const auto &c : cols.rows) {
            t.columns << Column{c[0].toString(), sqliteType(c[1].toString())};
            if (c[2].toInt() > 0)
                key << std::pair{c[2].toInt(), c[0].toString()};
        }
        std::sort(key.begin(), key.end());
        for (const auto &k : key)
            t.key << k.second;
        if (t.key.size() == 1 && row[1].toString().contains(u"AUTOINCREMENT", Qt::CaseInsensitive))
            t.identity = t.key.front();
        const ResultSet refs = cn.query(QStringLiteral("SELECT * FROM pragma_foreign_key_list(:T)"),
                                        {{QStringLiteral("T"), t.name}});
        const int table = refs.indexOf(QStringLiteral("table")), from = refs.indexOf(QStringLiteral("from")),
                  to = refs.indexOf(QStringLiteral("to"));
        for (const auto &r : refs.rows)
            t.refs << Reference{r[from].toString(), r[table].toString(), r[to].toString()};
        out << t;
    }
    // A reference without its column names the referenced table's key.
    for (Table &t : out)
        for (Reference &r : t.refs)
            if (r.refColumn.isEmpty())
                if (const Table *parent = findTable(out, r.table); parent && parent->key.size() == 1)
                    r.refColumn = parent->key.front();
    return out;
}

Catalogue postgresCatalogue(Connection &cn) {
    Catalogue out;
    const ResultSet cols = cn.query(QStringLiteral(
        "SELECT c.table_name, c.column_name, c.data_type, c.is_identity FROM information_schema.columns c "
        "JOIN information_schema.tables t ON t.table_schema = c.table_schema AND t.table_name = c.table_name "
        "WHERE c.table_schema = current_schema() AND t.table_type = 'BASE TABLE' "
        "ORDER BY c.table_name, c.ordinal_position"));
    QHash<QString, int> index;
    for (const auto &c : cols.rows) {
        const QString table = c[0].toString();
        auto it = index.find(table);
        if (it == index.end()) {
            it = index.insert(table, int(out.size()));
            out << Table{table, {}, {}, {}, {}};
        }
        Table &t = out[*it];
        t.columns << Column{c[1].toString(), postgresType(c[2].toString())};
        if (c[3].toString() == u"YES")
            t.identity = c[1].toString();
    }
    const ResultSet keys = cn.query(QStringLiteral(
        "SELECT k.table_name, k.column_name FROM information_schema.table_constraints tc "
        "JOIN information_schema.key_column_usage k ON k.constraint_schema = tc.constraint_schema "
        "AND k.constraint_name = tc.constraint_name AND k.table_name = tc.table_name "
        "WHERE tc.constraint_type = 'PRIMARY KEY' AND tc.table_schema = current_schema() "
        "ORDER BY k.table_name, k.ordinal_position"));
    for (const auto &k : keys.rows)
        if (auto it = index.find(k[0].toString()); it != index.end())
            out[*it].key << k[1].toString();
    const ResultSet refs = cn.query(QStringLiteral(
        "SELECT k.table_name, k.column_name, u.table_name, u.column_name FROM "
        "information_schema.table_constraints tc JOIN information_schema.key_column_usage k ON "
        "k.constraint_schema = tc.constraint_schema AND k.constraint_name = tc.constraint_name AND "
        "k.table_name = tc.table_name JOIN information_schema.constraint_column_usage u ON "
        "u.constraint_schema = tc.constraint_schema AND u.constraint_name = tc.constraint_name "
        "WHERE tc.constraint_type = 'FOREIGN KEY' AND tc.table_schema = current_schema() "
        "ORDER BY k.table_name, k.column_name"));
    for (const auto &r : refs.rows)
        if (auto it = index.find(r[0].toString()); it != index.end())
            out[*it].refs << Reference{r[1].toString(), r[2].toString(), r[3].toString()};
    std::sort(out.begin(), out.end(), [](const Table &a, const Table &b) { return a.name < b.name; });
    return out;
}

Catalogue catalogue(Connection &cn) {
    return cn.engine() == Engine::SQLite ? sqliteCatalogue(cn) : postgresCatalogue(cn);
}

// Parents before the tables that reference them; among tables ready at once, by name. A cycle
// between tables (none in the program's schema) leaves its tables in name order at the end.
Catalogue referenceOrder(const Catalogue &tables) {
    Catalogue out;
    std::vector<bool> done(size_t(tables.size()), false);
    for (bool progress = true; progress;) {
        progress = false;
        for (int i = 0; i < tables.size(); ++i) {
            if (done[size_t(i)])
                continue;
            const bool ready =
                std::all_of(tables[i].refs.begin(), tables[i].refs.end(), [&](const Reference &r) {
                    if (r.table.compare(tables[i].name, Qt::CaseInsensitive) == 0)
                        return true;
                    for (int j = 0; j < tables.size(); ++j)
                        if (!done[size_t(j)] && tables[j].name.compare(r.table, Qt::CaseInsensitive) == 0)
                            return false;
                    return true;
                });
            if (ready) {
                out << tables[i];
                done[size_t(i)] = true;
                progress = true;
            }
        }
    }
    for (int i = 0; i < tables.size(); ++i)
        if (!done[size_t(i)])
            out << tables[i];
    return out;
}

// ---- values on their way -----------------------------------------------------------------------

enum class Kind : quint8 { Null, Integer, Real, Text, Blob };

struct Cell {
    Kind kind = Kind::Null;
    qint64 integer = 0;
    double real = 0;
    QByteArray bytes; // UTF-8 text or binary data

    void setBytes(const char *data, qsizetype size, Kind k) {
        kind = k;
        bytes.resize(size);
        if (size)
            std::memcpy(bytes.data(), data, size_t(size));
    }
    // The value as a key of a row, for matching a reference with the row it names.
    QByteArray keyText() const { return kind == Kind::Integer ? QByteArray::number(integer) : bytes; }
};
using Row = std::vector<Cell>;

class RowSource {
public:
    virtual ~RowSource() = default;
    virtual bool next(Row &row) = 0; // fills row (sized to the columns); false at the end
};

class RowSink {
public:
    virtual ~RowSink() = default;
    virtual void write(const Row &row) = 0;
    virtual void finish() = 0; // every row written and checked by the engine
};

[[noreturn]] void sqliteFail(sqlite3 *db, const QString &sql) {
    const QSqlError error(QString(), QString::fromUtf8(sqlite3_errmsg(db)), QSqlError::StatementError,
                          QString::number(sqlite3_extended_errcode(db)));
    throw DatabaseError(describeError(Engine::SQLite, error), sql, errorCode(Engine::SQLite, error));
}

[[noreturn]] void postgresFail(PGconn *conn, const PGresult *result, const QString &sql) {
    const QSqlError error = postgresError(conn, result);
    throw DatabaseError(describeError(Engine::PostgreSQL, error), sql, errorCode(Engine::PostgreSQL, error));
}

sqlite3 *sqliteHandle(const Connection &cn) {
    sqlite3 *db = DriverHandle<sqlite3>(cn.database(), "sqlite3*");
    if (!db)
        throw DatabaseError(QStringLiteral("Нет соединения с базой данных"));
    return db;
}

PGconn *postgresHandle(const Connection &cn) {
    PGconn *conn = cn.pgConnection();
    if (!conn)
        throw DatabaseError(QStringLiteral("Нет соединения с базой данных"));
    return conn;
}

class SqliteSource final : public RowSource {
public:
    SqliteSource(sqlite3 *db, const QString &sql) : m_db(db), m_sql(sql) {
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &m_stmt, nullptr) != SQLITE_OK)
            sqliteFail(db, sql);
    }
    ~SqliteSource() override { sqlite3_finalize(m_stmt); }

    bool next(Row &row) override {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_DONE)
            return false;
        if (rc != SQLITE_ROW)
            sqliteFail(m_db, m_sql);
        for (int i = 0; i < int(row.size()); ++i) {
            Cell &c = row[size_t(i)];
            switch (sqlite3_column_type(m_stmt, i)) {
            case SQLITE_NULL:
                c.kind = Kind::Null;
                break;
            case SQLITE_INTEGER:
                c.kind = Kind::Integer;
                c.integer = sqlite3_column_int64(m_stmt, i);
                break;
            case SQLITE_FLOAT:
                c.kind = Kind::Real;
                c.real = sqlite3_column_double(m_stmt, i);
                break;
            case SQLITE_BLOB: {
                const void *data = sqlite3_column_blob(m_stmt, i);
                c.setBytes(static_cast<const char *>(data), sqlite3_column_bytes(m_stmt, i), Kind::Blob);
                break;
            }
            default: {
                const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, i));
                c.setBytes(text, sqlite3_column_bytes(m_stmt, i), Kind::Text);
                break;
            }
            }
        }
        return true;
    }

private:
    sqlite3 *m_db;
    QString m_sql;
    sqlite3_stmt *m_stmt = nullptr;
};

class SqliteSink final : public RowSink {
public:
    SqliteSink(sqlite3 *db, const QString &sql) : m_db(db), m_sql(sql) {
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &m_stmt, nullptr) != SQLITE_OK)
            sqliteFail(db, sql);
    }
    ~SqliteSink() override { sqlite3_finalize(m_stmt); }

    void write(const Row &row) override {
        for (int i = 0; i < int(row.size()); ++i) {
            const Cell &c = row[size_t(i)];
            const int p = i + 1;
            switch (c.kind) {
            case Kind::Null:
                sqlite3_bind_null(m_stmt, p);
                break;
            case Kind::Integer:
                sqlite3_bind_int64(m_stmt, p, c.integer);
                break;
            case Kind::Real:
                sqlite3_bind_double(m_stmt, p, c.real);
                break;
            case Kind::Text:
                sqlite3_bind_text(m_stmt, p, c.bytes.constData(), int(c.bytes.size()), SQLITE_STATIC);
                break;
            case Kind::Blob:
                sqlite3_bind_blob(m_stmt, p, c.bytes.constData(), int(c.bytes.size()), SQLITE_STATIC);
                break;
            }
        }
        const int rc = sqlite3_step(m_stmt);
        sqlite3_reset(m_stmt);
        if (rc != SQLITE_DONE)
            sqliteFail(m_db, m_sql);
    }
    void finish() override {}

private:
    sqlite3 *m_db;
    QString m_sql;
    sqlite3_stmt *m_stmt = nullptr;
};

// PostgreSQL's COPY text format: one line per row, fields apart by tabs, \N for NULL, a backslash
// before the characters that would end a field or a line.
class PostgresSource final : public RowSource {
public:
    PostgresSource(PGconn *conn, const QString &sql, QVector<ColType> types)
        : m_conn(conn), m_sql(sql), m_types(std::move(types)) {
        PGresult *r = PQexec(conn, sql.toUtf8().constData());
        const bool ok = PQresultStatus(r) == PGRES_COPY_OUT;
        if (!ok) {
            std::unique_ptr<PGresult, void (*)(PGresult *)> hold(r, PQclear);
            postgresFail(conn, r, sql);
        }
        PQclear(r);
    }
    ~PostgresSource() override {
        // Left half-way by an error: the rest of the rows are read and dropped, so that the
        // connection can go on (to roll back).
        if (m_done)
            return;
        char *buffer = nullptr;
        while (PQgetCopyData(m_conn, &buffer, 0) > 0)
            PQfreemem(buffer);
        while (PGresult *r = PQgetResult(m_conn))
            PQclear(r);
    }

    bool next(Row &row) override {
        if (m_done)
            return false;
        char *buffer = nullptr;
        const int n = PQgetCopyData(m_conn, &buffer, 0);
        if (n == -1) {
            m_done = true;
            PGresult *r = PQgetResult(m_conn);
            const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
            std::unique_ptr<PGresult, void (*)(PGresult *)> hold(r, PQclear);
            if (!ok)
                postgresFail(m_conn, r, m_sql);
            while (PGresult *rest = PQgetResult(m_conn))
                PQclear(rest);
            return false;
        }
        if (n < 0) {
            m_done = true;
            PGresult *r = PQgetResult(m_conn);
            std::unique_ptr<PGresult, void (*)(PGresult *)> hold(r, PQclear);
            postgresFail(m_conn, r, m_sql);
        }
        std::unique_ptr<char, void (*)(void *)> hold(buffer, PQfreemem);
        parse(buffer, buffer + n, row);
        return true;
    }

private:
    void parse(const char *p, const char *end, Row &row) {
        if (end > p && end[-1] == '\n')
            --end;
        for (size_t i = 0; i < row.size(); ++i) {
            const char *fieldEnd = static_cast<const char *>(std::memchr(p, '\t', size_t(end - p)));
            if (!fieldEnd)
                fieldEnd = end;
            setCell(row[i], p, fieldEnd, i < size_t(m_types.size()) ? m_types[qsizetype(i)] : ColType::Other);
            p = fieldEnd < end ? fieldEnd + 1 : end;
        }
    }

    void setCell(Cell &c, const char *p, const char *end, ColType type) {
        if (end - p == 2 && p[0] == '\\' && p[1] == 'N') {
            c.kind = Kind::Null;
            return;
        }
        if (std::memchr(p, '\\', size_t(end - p)))
            unescape(c, p, end);
        else
            c.setBytes(p, end - p, Kind::Text);
        switch (type) {
        case ColType::Integer:
            c.kind = Kind::Integer;
            c.integer = c.bytes.toLongLong();
            break;
        case ColType::Boolean:
            c.kind = Kind::Integer;
            c.integer = c.bytes == "t" ? 1 : 0;
            break;
        case ColType::Blob:
            // bytea's hex output: \x0a1b...
            c.kind = Kind::Blob;
            c.bytes = QByteArray::fromHex(c.bytes.mid(2));
            break;
        case ColType::Other:
            break;
        }
    }

    static void unescape(Cell &c, const char *p, const char *end) {
        c.kind = Kind::Text;
        c.bytes.resize(0);
        while (p < end) {
            if (*p != '\\' || p + 1 == end) {
                c.bytes.append(*p++);
                continue;
            }
            const char e = p[1];
            p += 2;
            switch (e) {
            case 'b':
                c.bytes.append('\b');
                break;
            case 'f':
                c.bytes.append('\f');
                break;
            case 'n':
                c.bytes.append('\n');
                break;
            case 'r':
                c.bytes.append('\r');
                break;
            case 't':
                c.bytes.append('\t');
                break;
            case 'v':
                c.bytes.append('\v');
                break;
            case 'x': {
                int v = 0, digits = 0;
                while (digits < 2 && p < end && std::isxdigit(static_cast<unsigned char>(*p))) {
                    v = v * 16 + QByteArray(1, *p).toInt(nullptr, 16);
                    ++p;
                    ++digits;
                }
                c.bytes.append(char(v));
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    int v = e - '0', digits = 1;
                    while (digits < 3 && p < end && *p >= '0' && *p <= '7') {
                        v = v * 8 + (*p++ - '0');
                        ++digits;
                    }
                    c.bytes.append(char(v));
                } else {
                    c.bytes.append(e);
                }
            }
        }
    }

    PGconn *m_conn;
    QString m_sql;
    QVector<ColType> m_types;
    bool m_done = false;
};

class PostgresSink final : public RowSink {
public:
    PostgresSink(PGconn *conn, const QString &sql, QVector<ColType> types)
        : m_conn(conn), m_sql(sql), m_types(std::move(types)) {
        PGresult *r = PQexec(conn, sql.toUtf8().constData());
        std::unique_ptr<PGresult, void (*)(PGresult *)> hold(r, PQclear);
        if (PQresultStatus(r) != PGRES_COPY_IN)
            postgresFail(conn, r, sql);
        m_open = true;
        m_buffer.reserve(FlushBytes + 4096);
    }
    ~PostgresSink() override {
        if (!m_open)
            return;
        PQputCopyEnd(m_conn, "copy abandoned");
        while (PGresult *r = PQgetResult(m_conn))
            PQclear(r);
    }

    void write(const Row &row) override {
        for (size_t i = 0; i < row.size(); ++i) {
            if (i)
                m_buffer.append('\t');
            append(row[i], i < size_t(m_types.size()) ? m_types[qsizetype(i)] : ColType::Other);
        }
        m_buffer.append('\n');
        if (m_buffer.size() >= FlushBytes)
            flush();
    }

    void finish() override {
        flush();
        m_open = false;
        if (PQputCopyEnd(m_conn, nullptr) != 1)
            postgresFail(m_conn, nullptr, m_sql);
        PGresult *r = PQgetResult(m_conn);
        std::unique_ptr<PGresult, void (*)(PGresult *)> hold(r, PQclear);
        const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
        if (!ok) {
            while (PGresult *rest = PQgetResult(m_conn))
                PQclear(rest);
            postgresFail(m_conn, r, m_sql);
        }
        while (PGresult *rest = PQgetResult(m_conn))
            PQclear(rest);
    }

private:
    static constexpr qsizetype FlushBytes = 1 << 20;

    void flush() {
        if (m_buffer.isEmpty())
            return;
        if (PQputCopyData(m_conn, m_buffer.constData(), int(m_buffer.size())) != 1)
            postgresFail(m_conn, nullptr, m_sql);
        m_buffer.resize(0);
    }

    void appendEscaped(const QByteArray &text) {
        for (const char ch : text) {
            switch (ch) {
            case '\\':
                m_buffer.append("\\\\", 2);
                break;
            case '\n':
                m_buffer.append("\\n", 2);
                break;
            case '\r':
                m_buffer.append("\\r", 2);
                break;
            case '\t':
                m_buffer.append("\\t", 2);
                break;
            default:
                m_buffer.append(ch);
            }
        }
    }

    void append(const Cell &c, ColType type) {
        if (c.kind == Kind::Null) {
            m_buffer.append("\\N", 2);
            return;
        }
        switch (type) {
        case ColType::Boolean: {
            bool on = false;
            if (c.kind == Kind::Integer)
                on = c.integer != 0;
            else if (c.kind == Kind::Real)
                on = c.real != 0;
            else
                on = !c.bytes.isEmpty() && std::strchr("tTyY1", c.bytes.front()) != nullptr;
            m_buffer.append(on ? 't' : 'f');
            return;
        }
        case ColType::Blob:
            if (c.kind == Kind::Blob || c.kind == Kind::Text) {
                m_buffer.append("\\\\x", 3);
                m_buffer.append(c.bytes.toHex());
                return;
            }
            break;
        default:
            break;
        }
        switch (c.kind) {
        case Kind::Integer:
            m_buffer.append(QByteArray::number(c.integer));
            break;
        case Kind::Real:
            m_buffer.append(QByteArray::number(c.real, 'g', 17));
            break;
        default:
            appendEscaped(c.bytes);
        }
    }

    PGconn *m_conn;
    QString m_sql;
    QVector<ColType> m_types;
    QByteArray m_buffer;
    bool m_open = false;
};

std::unique_ptr<RowSource> openSource(Connection &cn, const Table &table, const QStringList &columns) {
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(quotedList(columns), quoted(table.name));
    if (!table.key.isEmpty())
        sql += QStringLiteral(" ORDER BY ") + quotedList(table.key);
    if (cn.engine() == Engine::SQLite)
        return std::make_unique<SqliteSource>(sqliteHandle(cn), sql);
    QVector<ColType> types;
    for (const QString &c : columns)
        types << table.columns[table.columnIndex(c)].type;
    return std::make_unique<PostgresSource>(postgresHandle(cn),
                                            QStringLiteral("COPY (%1) TO STDOUT").arg(sql), types);
}

std::unique_ptr<RowSink> openSink(Connection &cn, const Table &table, const QStringList &columns) {
    if (cn.engine() == Engine::SQLite) {
        QStringList marks;
        for (qsizetype i = 0; i < columns.size(); ++i)
            marks << QStringLiteral("?");
        return std::make_unique<SqliteSink>(
            sqliteHandle(cn), QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                  .arg(quoted(table.name), quotedList(columns), marks.join(u',')));
    }
    QVector<ColType> types;
    for (const QString &c : columns)
        types << table.columns[table.columnIndex(c)].type;
    return std::make_unique<PostgresSink>(
        postgresHandle(cn),
        QStringLiteral("COPY %1 (%2) FROM STDIN").arg(quoted(table.name), quotedList(columns)), types);
}

// A table whose rows reference rows of the same table (a department's higher department): the
// rows in an order that puts every referenced row before the rows that reference it.
std::vector<size_t> parentsFirst(const std::vector<Row> &rows, int refColumn, int keyColumn) {
    QHash<QByteArray, size_t> byKey;
    byKey.reserve(qsizetype(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i)
        byKey.insert(rows[i][size_t(keyColumn)].keyText(), i);
    std::vector<size_t> order;
    order.reserve(rows.size());
    std::vector<char> state(rows.size(), 0); // 0 waiting, 1 on the current chain, 2 placed
    std::vector<size_t> chain;
    for (size_t i = 0; i < rows.size(); ++i) {
        chain.clear();
        for (size_t j = i; state[j] == 0;) {
            state[j] = 1;
            chain.push_back(j);
            const Cell &parent = rows[j][size_t(refColumn)];
            if (parent.kind == Kind::Null)
                break;
            const auto it = byKey.constFind(parent.keyText());
            if (it == byKey.constEnd())
                break; // the engine refuses the row, naming the missing parent
            j = *it;
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            order.push_back(*it);
            state[*it] = 2;
        }
    }
    return order;
}

// ---- the target --------------------------------------------------------------------------------

// The rows a database holds as it is created (its schema version, the journal's settings): a
// target with no more than these is empty. Learnt once from a new database made aside.
const QHash<QString, qint64> &newDatabaseRows() {
    static QHash<QString, qint64> rows;
    static std::once_flag once;
    std::call_once(once, [] {
        QTemporaryDir dir;
        if (!dir.isValid())
            throw AppError(QStringLiteral("Не удалось создать временную папку: %1").arg(dir.errorString()));
        Connection cn;
        cn.open(QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("new.db")));
        Schema::prepare(cn);
        for (const Table &t : sqliteCatalogue(cn))
            if (const qint64 n =
                    cn.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(quoted(t.name))).toLongLong())
                rows.insert(t.name.toLower(), n);
        cn.close();
    });
    return rows;
}

qint64 rowCount(Connection &cn, const QString &table) {
    return cn.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(quoted(table))).toLongLong();
}

void refuseIfHoldsData(Connection &target, const Catalogue &tables) {
    const auto &allowed = newDatabaseRows();
    for (const Table &t : tables) {
        const qint64 n = rowCount(target, t.name);
        if (n > allowed.value(t.name.toLower()))
            throw AppError(
                QStringLiteral("База данных %1 не пуста: в таблице %2 строк: %3. Копировать можно только "
                               "в пустую базу данных")
                    .arg(redactedUrl(target.url().toString()), displayName(t.name))
                    .arg(n));
    }
}

void refuseSameDatabase(Connection &source, Connection &target) {
    const DatabaseUrl &a = source.url(), &b = target.url();
    bool same = false;
    if (a.engine != b.engine)
        return;
    if (a.engine == Engine::SQLite) {
        const QString pa = QFileInfo(a.path).canonicalFilePath(), pb = QFileInfo(b.path).canonicalFilePath();
        same = !pa.isEmpty() && pa == pb;
    } else {
        const QString schema = QStringLiteral("SELECT current_schema()");
        same = a.host.compare(b.host, Qt::CaseInsensitive) == 0 && a.port == b.port && a.name == b.name &&
               source.scalar(schema).toString() == target.scalar(schema).toString();
    }
    if (same)
        throw AppError(QStringLiteral("База данных %1 — та же, что копируется; укажите другую базу данных")
                           .arg(redactedUrl(b.toString())));
}

// The triggers of the target are off while the rows arrive. On PostgreSQL they are disabled table
// by table; on SQLite, which cannot disable a trigger, they are dropped and made again from their
// stored text. Both happen inside the load's transaction: no other client sees the database
// without them, and a load that fails rolls back to them.
class TriggersOff {
public:
    TriggersOff(Connection &cn, const Catalogue &tables) : m_cn(cn), m_tables(tables) {
        if (cn.engine() == Engine::PostgreSQL) {
            for (const Table &t : tables)
                cn.execute(QStringLiteral("ALTER TABLE %1 DISABLE TRIGGER USER").arg(quoted(t.name)));
            return;
        }
        const ResultSet rs = cn.query(
            QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'trigger' ORDER BY rowid"));
        for (const auto &row : rs.rows) {
            m_triggers << row[1].toString();
            cn.execute(QStringLiteral("DROP TRIGGER %1").arg(quoted(row[0].toString())));
        }
    }
    void restore() {
        if (m_cn.engine() == Engine::PostgreSQL) {
            for (const Table &t : m_tables)
                m_cn.execute(QStringLiteral("ALTER TABLE %1 ENABLE TRIGGER USER").arg(quoted(t.name)));
            return;
        }
        for (const QString &sql : std::exchange(m_triggers, {}))
            m_cn.execute(sql);
    }

private:
    Connection &m_cn;
    Catalogue m_tables;
    QStringList m_triggers;
};

// The highest value each numbered column has ever been given (lower-case table name), so that
// the target does not give a key again that the source gave to a row since deleted.
QHash<QString, qint64> identityPositions(Connection &cn, const Catalogue &tables) {
    QHash<QString, qint64> out;
    if (cn.engine() == Engine::SQLite) {
        if (!findTable(tables, QStringLiteral("sqlite_sequence")) &&
            cn.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'sqlite_sequence'"))
                    .toInt() == 0)
            return out;
        const ResultSet rs = cn.query(QStringLiteral("SELECT name, seq FROM sqlite_sequence"));
        for (const auto &row : rs.rows)
            out.insert(row[0].toString().toLower(), row[1].toLongLong());
        return out;
    }
    for (const Table &t : tables)
        if (!t.identity.isEmpty())
            out.insert(
                t.name.toLower(),
                cn.scalar(QStringLiteral("SELECT pg_sequence_last_value(CAST(pg_get_serial_sequence(:T, :C) "
                                         "AS regclass))"),
                          {{QStringLiteral("T"), quoted(t.name)}, {QStringLiteral("C"), t.identity}})
                    .toLongLong());
    return out;
}

void continueIdentities(Connection &cn, const Catalogue &tables, const QHash<QString, qint64> &given) {
    for (const Table &t : tables) {
        if (t.identity.isEmpty())
            continue;
        const qint64 last = std::max(
            given.value(t.name.toLower()),
            cn.scalar(QStringLiteral("SELECT max(%1) FROM %2").arg(quoted(t.identity), quoted(t.name)))
                .toLongLong());
        const QVariantMap p = {{QStringLiteral("T"), t.name}, {QStringLiteral("V"), last}};
        if (cn.engine() == Engine::SQLite) {
            if (last > 0 &&
                cn.execute(QStringLiteral("UPDATE sqlite_sequence SET seq = max(seq, :V) WHERE name = :T"),
                           p) == 0)
                cn.execute(QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES (:T, :V)"), p);
            continue;
        }
        const QVariantMap q = {{QStringLiteral("T"), quoted(t.name)},
                               {QStringLiteral("C"), t.identity},
                               {QStringLiteral("V"), std::max<qint64>(last, 1)}};
        cn.query(last > 0 ? QStringLiteral(
                                "SELECT setval(CAST(pg_get_serial_sequence(:T, :C) AS regclass), :V, true)")
                          : QStringLiteral(
                                "SELECT setval(CAST(pg_get_serial_sequence(:T, :C) AS regclass), :V, false)"),
                 q);
    }
}

// SQLite's full-text indexes, built anew from the rows of their content tables.
void rebuildTextIndexes(Connection &cn) {
    if (cn.engine() != Engine::SQLite)
        return;
    const ResultSet rs = cn.query(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND "
                                                 "sql LIKE 'CREATE VIRTUAL TABLE%USING fts%'"));
    for (const auto &row : rs.rows) {
        const QString name = quoted(row[0].toString());
        cn.execute(QStringLiteral("INSERT INTO %1 (%1) VALUES ('rebuild')").arg(name));
    }
}

// A snapshot of the SQLite database in a temporary folder beside it (or, where that cannot be
// written, in the system's temporary folder), opened on `snapshot`; the database itself when
// neither works.
Connection &openSnapshot(Connection &source, std::unique_ptr<QTemporaryDir> &dir, Connection &snapshot) {
    const QString beside =
        QFileInfo(source.url().path).absoluteDir().filePath(QStringLiteral(".velmora-copy-XXXXXX"));
    for (const QString &pattern : {beside, QString()}) {
        dir =
            pattern.isEmpty() ? std::make_unique<QTemporaryDir>() : std::make_unique<QTemporaryDir>(pattern);
        if (!dir->isValid())
            continue;
        const QString path = dir->filePath(QStringLiteral("snapshot.db"));
        try {
            FileBackup::writeSnapshot(source, path);
            snapshot.open(QStringLiteral("sqlite:") + path);
            return snapshot;
        } catch (const AppError &) {
            snapshot.close();
        }
    }
    dir.reset();
    return source;
}

// The rows of a source read ahead on a thread of its own, in batches, so that reading one engine
// and writing the other go on at once. Only the reading thread touches the source until the end
// of its rows (or until the pipe is destroyed); a failure of the read is thrown by next().
class RowPipe {
public:
    struct Batch {
        std::vector<Row> rows;
        size_t used = 0;
    };

    RowPipe(RowSource &source, size_t columns) : m_source(source) {
        for (Batch &b : m_batches) {
            b.rows.assign(BatchRows, Row(columns));
            m_free.push_back(&b);
        }
        m_thread = std::thread([this] { read(); });
    }
    ~RowPipe() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    RowPipe(const RowPipe &) = delete;
    RowPipe &operator=(const RowPipe &) = delete;

    // The next batch of rows, valid until the following call; nullptr after the last one.
    const Batch *next() {
        std::unique_lock lock(m_mutex);
        if (m_current) {
            m_free.push_back(m_current);
            m_current = nullptr;
            m_changed.notify_all();
        }
        m_changed.wait(lock, [this] { return !m_full.empty() || m_done; });
        if (m_full.empty()) {
            if (m_error)
                std::rethrow_exception(std::exchange(m_error, nullptr));
            return nullptr;
        }
        m_current = m_full.front();
        m_full.pop_front();
        return m_current;
    }

private:
    static constexpr size_t BatchRows = 2000;

    void read() {
        try {
            for (;;) {
                Batch *b = nullptr;
                {
                    std::unique_lock lock(m_mutex);
                    m_changed.wait(lock, [this] { return !m_free.empty() || m_stop; });
                    if (m_stop)
                        break;
                    b = m_free.front();
                    m_free.pop_front();
                }
                b->used = 0;
                while (b->used < BatchRows && m_source.next(b->rows[b->used]))
                    ++b->used;
                const bool last = b->used < BatchRows;
                {
                    std::lock_guard lock(m_mutex);
                    if (b->used)
                        m_full.push_back(b);
                    else
                        m_free.push_back(b);
                }
                m_changed.notify_all();
                if (last)
                    break;
            }
        } catch (...) {
            std::lock_guard lock(m_mutex);
            m_error = std::current_exception();
        }
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_changed.notify_all();
    }

    RowSource &m_source;
    Batch m_batches[4];
    std::deque<Batch *> m_free, m_full;
    Batch *m_current = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stop = false, m_done = false;
    std::exception_ptr m_error;
    std::thread m_thread;
};

// ---- the load ----------------------------------------------------------------------------------

struct Load {
    Connection &source;
    Connection &target;
    ProgressFn progress;
    bool timed = false; // the benchmark: rows held in memory, only their writing timed
    qint64 writeNs = 0;
    Connection *reading = nullptr; // the source, or its snapshot

    QVector<TableCount> run();

private:
    qint64 copyTable(const Table &from, const QStringList &fromColumns, const Table &to,
                     const QStringList &columns, qint64 total, int number, int count);
};

// `fromColumns` and `columns` name the same columns as each engine spells them.
qint64 Load::copyTable(const Table &from, const QStringList &fromColumns, const Table &to,
                       const QStringList &columns, qint64 total, int number, int count) {
    Progress p{displayName(to.name), number, count, 0, total};
    if (progress)
        progress(p);
    if (total == 0)
        return 0;
    const auto rowsIn = openSource(*reading, from, fromColumns);
    Row row(size_t(columns.size()));

    // A table that references itself, or the benchmark: every row read first.
    int selfRef = -1, selfKey = -1;
    for (const Reference &r : to.refs)
        if (r.table.compare(to.name, Qt::CaseInsensitive) == 0) {
            selfRef = int(columns.indexOf(to.columns[to.columnIndex(r.column)].name));
            const int k = to.columnIndex(r.refColumn);
            selfKey = k < 0 ? -1 : int(columns.indexOf(to.columns[k].name));
            break;
        }
    if ((selfRef >= 0 && selfKey >= 0) || timed) {
        std::vector<Row> rows;
        rows.reserve(size_t(total));
        while (rowsIn->next(row))
            rows.push_back(row);
        std::vector<size_t> order;
        if (selfRef >= 0 && selfKey >= 0)
            order = parentsFirst(rows, selfRef, selfKey);
        else
            for (size_t i = 0; i < rows.size(); ++i)
                order.push_back(i);
        QElapsedTimer clock;
        clock.start();
        const auto sink = openSink(target, to, columns);
        for (const size_t i : order) {
            sink->write(rows[i]);
            if (progress && ++p.rows % 10000 == 0)
                progress(p);
        }
        sink->finish();
        writeNs += clock.nsecsElapsed();
        p.rows = qint64(rows.size());
    } else {
        // The source is read on a thread of its own while this one writes.
        const auto sink = openSink(target, to, columns);
        RowPipe pipe(*rowsIn, row.size());
        while (const RowPipe::Batch *batch = pipe.next()) {
            for (size_t i = 0; i < batch->used; ++i) {
                sink->write(batch->rows[i]);
                if (progress && ++p.rows % 10000 == 0)
                    progress(p);
            }
        }
        sink->finish();
    }
    if (progress)
        progress(p);
    return p.rows;
}

QVector<TableCount> Load::run() {
    Schema::describe();
    const int version = Schema::version(source);
    if (version != Schema::CurrentVersion)
        throw AppError(
            QStringLiteral("Схема копируемой базы данных (версия %1) не та, что у программы (версия %2); "
                           "откройте её программой, чтобы обновить схему, и повторите копирование")
                .arg(version)
                .arg(Schema::CurrentVersion));
    refuseSameDatabase(source, target);
    // A SQLite file is read from a snapshot: a read of the file itself would hold it against
    // every other workstation's writes for the whole copy, the snapshot only for moments.
    std::unique_ptr<QTemporaryDir> snapshotDir;
    Connection snapshot;
    Connection &from =
        source.engine() == Engine::SQLite ? openSnapshot(source, snapshotDir, snapshot) : source;
    reading = &from;
    // A target with tables is looked at before anything is written to it, an older one included.
    if (Schema::version(target) != 0)
        refuseIfHoldsData(target, catalogue(target));
    Schema::prepare(target);

    BulkWaitLimit wait(target);
    Transaction read(from, TxMode::Read);
    if (from.engine() == Engine::PostgreSQL) {
        // One snapshot for every table, whatever other workstations write meanwhile; dates and
        // binary data in the forms the load reads.
        from.execute(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY"));
        from.execute(QStringLiteral("SET LOCAL DateStyle = 'ISO, YMD'"));
        from.execute(QStringLiteral("SET LOCAL bytea_output = 'hex'"));
        from.execute(QStringLiteral("SET LOCAL extra_float_digits = 3"));
    }
    Transaction write(target, TxMode::Write);
    if (target.engine() == Engine::PostgreSQL)
        target.execute(QStringLiteral("SET LOCAL DateStyle = 'ISO, YMD'"));

    const Catalogue sourceTables = catalogue(from);
    const Catalogue targetTables = referenceOrder(catalogue(target));
    TriggersOff triggers(target, targetTables);
    // Now that the target's tables are locked (or its file), it is looked at again: another client
    // may have written since. The rows a new database is created with give way to the source's.
    refuseIfHoldsData(target, targetTables);
    for (const Table &t : targetTables)
        if (newDatabaseRows().contains(t.name.toLower()))
            target.execute(QStringLiteral("DELETE FROM %1").arg(quoted(t.name)));

    const QString targetName = redactedUrl(target.url().toString());
    for (const Table &s : sourceTables) {
        if (findTable(targetTables, s.name))
            continue;
        if (const qint64 n = rowCount(from, s.name))
            throw AppError(QStringLiteral("В базе данных %1 нет таблицы %2, а в копируемой в ней строк: %3")
                               .arg(targetName, displayName(s.name))
                               .arg(n));
    }

    QVector<TableCount> counts;
    int number = 0;
    for (const Table &to : targetTables) {
        ++number;
        const Table *fromTable = findTable(sourceTables, to.name);
        TableCount count{displayName(to.name), 0, 0};
        if (fromTable) {
            QStringList columns;
            for (const Column &c : fromTable->columns) {
                const int i = to.columnIndex(c.name);
                if (i < 0)
                    throw AppError(QStringLiteral("В базе данных %1 у таблицы %2 нет столбца %3")
                                       .arg(targetName, displayName(to.name), c.name));
                columns << to.columns[i].name;
            }
            count.source = rowCount(from, fromTable->name);
            QStringList fromColumns;
            for (const Column &c : fromTable->columns)
                fromColumns << c.name;
            copyTable(*fromTable, fromColumns, to, columns, count.source, number, int(targetTables.size()));
        } else if (progress) {
            progress(Progress{count.table, number, int(targetTables.size()), 0, 0});
        }
        count.target = rowCount(target, to.name);
        if (count.target != count.source)
            throw AppError(
                QStringLiteral("Копия не сходится с источником: в таблице %1 строк %2, а в источнике %3; "
                               "ничего не записано")
                    .arg(count.table)
                    .arg(count.target)
                    .arg(count.source));
        counts << count;
    }

    QElapsedTimer clock;
    clock.start();
    rebuildTextIndexes(target);
    if (timed) // a bare load into this target builds its text indexes as well
        writeNs += clock.nsecsElapsed();
    continueIdentities(target, targetTables, identityPositions(from, sourceTables));
    triggers.restore();
    clock.restart();
    write.commit();
    if (timed) // and commits them
        writeNs += clock.nsecsElapsed();
    read.commit();
    return counts;
}

} // namespace

QVector<TableCount> copy(Connection &source, Connection &target, const ProgressFn &progress) {
    Load load{source, target, progress};
    return load.run();
}

qint64 timedBareLoad(Connection &source, Connection &target) {
    Load load{source, target, {}, true};
    load.run();
    return load.writeNs;
}

QVector<TableCount> countRows(Connection &cn) {
    Schema::describe();
    Transaction read(cn, TxMode::Read);
    QVector<TableCount> out;
    for (const Table &t : referenceOrder(catalogue(cn))) {
        const qint64 n = rowCount(cn, t.name);
        out << TableCount{displayName(t.name), n, n};
    }
    read.commit();
    return out;
}

} // namespace DatabaseCopy
