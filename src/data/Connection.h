#pragma once

#include "data/SchemaInfo.h"
#include "data/SqlText.h"

#include <QSqlDatabase>
#include <QStringList>
#include <QVariantMap>
#include <vector>

class QSqlError;
struct pg_conn;
struct pg_result;

// The driver's error as the user reads it: a Russian sentence for the errors a user can cause
// (too long a text, a number out of range, a row still referenced, a duplicate, a deadlock, a lost
// connection), followed by the driver's own text, cut to a few hundred characters.
QString describeError(Engine engine, const QSqlError &error);

// A failed PostgreSQL statement as the driver codes its errors: the server's primary message only
// (its detail may quote a whole row), with the values the statement sent masked where the message
// quotes them, and the SQLSTATE.
QSqlError postgresError(pg_conn *conn, const pg_result *result, const QVariantList &values = {});

// The engine's code of an error: PostgreSQL's SQLSTATE, SQLite's result code, or the code a
// trigger of the program puts before its message ("22003: ...").
QString errorCode(Engine engine, const QSqlError &error);

// A database address fit for a message or a log: the password, if any, replaced by "***".
QString redactedUrl(const QString &url);

// Makes an embedded database file readable by its owner only (creating it, and its folder with
// the same rights, when missing).
void protectDatabaseFile(const QString &path);

// How a transaction begins: a reader on SQLite takes its write lock only when it first writes; a
// writer takes it at once (BEGIN IMMEDIATE), so that waiting for another writer obeys the busy
// time-out instead of failing at once.
enum class TxMode { Read, Write };

// Rows of one result, all held in memory.
struct ResultSet {
    QVector<ColumnInfo> columns;
    std::vector<QVector<QVariant>> rows;

    int indexOf(const QString &column) const; // case-insensitive, -1 when absent
    int indexOf(QLatin1StringView column) const;
    QVariant value(size_t row, const QString &column) const;
    QVariant value(size_t row, QLatin1StringView column) const;
    // Orders the rows by the text of one column in the order of names (CompareText), rows of
    // equal text by the key column (none for -1), and otherwise as they were.
    void sortByText(int textColumn, int keyColumn);
    void sortByText(const QString &textColumn, const QString &keyColumn);
};

// What one statement gave: the rows of a query (possibly none), or the number of rows a change
// touched.
struct StatementResult {
    bool returnsRows = false;
    ResultSet rows;
    int rowsAffected = 0;
};

// Where the database is: "sqlite:<file>" or "postgresql://[user[:password]@]host[:port]/<name>".
struct DatabaseUrl {
    Engine engine = Engine::SQLite;
    QString path; // SQLite file
    QString host, user, password, name;
    int port = 5432;

    static DatabaseUrl parse(const QString &url); // throws AppError on a malformed address
    QString toString() const;
};

// The one connection of the program (tests and tools open their own). Every statement goes through
// it: `:name` parameters, `[Name]` identifiers and value types are handled the same way on both
// engines, and errors become DatabaseError carrying the driver's text.
//
// On PostgreSQL every statement goes to libpq on the driver's own connection, values as parameters
// apart from the text (binary for byte arrays): no value ever appears in a statement the server
// logs or in an error message, which quote the statement as written, with its `:name` marks.
class Connection {
public:
    static constexpr int TimeoutSeconds = 5;
    // How long a statement waits for a lock that another connection holds before it gives up with
    // the "busy" message: SQLite's busy time-out, PostgreSQL's lock time-out. A bulk load, which
    // runs for minutes anyway, waits longer rather than fail at the end of its work.
    static constexpr int WaitSeconds = TimeoutSeconds;
    static constexpr int BulkWaitSeconds = 120;

    Connection();
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    void open(const QString &url); // throws DatabaseError with the driver's message
    void close();
    bool isOpen() const;
    Engine engine() const { return m_url.engine; }
    const DatabaseUrl &url() const { return m_url; }
    QSqlDatabase database() const;
    // The driver's own libpq connection; nullptr on SQLite.
    pg_conn *pgConnection() const;
    // Sets the lock wait of this connection (seconds); outside a transaction, since a rolled-back
    // transaction takes the setting back on PostgreSQL.
    void setWaitLimit(int seconds);

    ResultSet query(const QString &sql, const QVariantMap &params = {}) const;
    // Same, with values bound to the parameters in the order of their first appearance.
    ResultSet queryPositional(const QString &sql, const QVariantList &values) const;
    int execute(const QString &sql, const QVariantMap &params = {}) const; // rows affected
    // Any one statement, values bound by position as in queryPositional.
    StatementResult executePositional(const QString &sql, const QVariantList &values) const;
    QVariant scalar(const QString &sql, const QVariantMap &params = {}) const;

    // The person the database's change journal names for this connection's writes (the account
    // and the workstation); empty: the journal names the database role, or no one on SQLite.
    // PostgreSQL holds it as a setting of the session; SQLite in a one-row table that each writing
    // transaction fills as it begins and empties before it commits, so no other client sees it.
    void setPerson(const QString &person);
    const QString &person() const { return m_person; }

    // Nested calls share the outermost transaction.
    void begin(TxMode mode = TxMode::Write);
    void commit();
    // How many writing transactions this process has committed, on any connection: views read
    // their lists anew only when it has changed since they last did.
    static quint64 committedWrites();
    void rollback();
    bool inTransaction() const { return m_depth > 0; }

private:
    PreparedSql prepared(const QString &sql) const;
    StatementResult perform(const PreparedSql &sql, const QVariantList &values,
                            const QString &original) const;
    StatementResult runSqlite(const PreparedSql &sql, const QVariantList &values,
                              const QString &original) const;
    StatementResult runPostgres(pg_conn *conn, const PreparedSql &sql, const QVariantList &values,
                                const QString &original) const;

    QString m_name;
    DatabaseUrl m_url;
    int m_depth = 0;
    bool m_rollbackOnly = false;
    bool m_writing = false; // the outermost transaction was begun to write
    // PostgreSQL: a reading transaction whose BEGIN is not sent yet. Under READ COMMITTED every
    // statement takes its own snapshot inside a transaction too, so plain selects run as they
    // come; the first statement that writes, locks or acts on the transaction sends BEGIN first.
    mutable bool m_beginDeferred = false;
    void beginDeferred() const;
    QString m_person;
    bool m_personTable = false;   // SQLite: the file has the journal's person table
    bool m_personWritten = false; // SQLite: this transaction wrote its person
    void applyPerson();
    void writePerson();
};

// A longer lock wait for the connection while it lives (bulk work); the usual one afterwards.
class BulkWaitLimit {
public:
    explicit BulkWaitLimit(Connection &cn) : m_cn(cn) { m_cn.setWaitLimit(Connection::BulkWaitSeconds); }
    ~BulkWaitLimit();
    BulkWaitLimit(const BulkWaitLimit &) = delete;
    BulkWaitLimit &operator=(const BulkWaitLimit &) = delete;

private:
    Connection &m_cn;
};

// Commits on commit(), rolls back when left by an exception or without commit().
class Transaction {
public:
    explicit Transaction(Connection &cn, TxMode mode = TxMode::Write) : m_cn(cn) { m_cn.begin(mode); }
    ~Transaction();
    void commit();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

private:
    Connection &m_cn;
    bool m_done = false;
};
