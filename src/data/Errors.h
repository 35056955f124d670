#pragma once

#include <QString>
#include <stdexcept>

// The one exception type of the program. Its message is shown to the user as it stands (in the
// standard exception box with a full stop appended), so it is always a complete Russian sentence
// or the driver's own text.
class AppError : public std::runtime_error {
public:
    explicit AppError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const noexcept { return m_message; }

private:
    QString m_message;
};

// A database statement failed: the driver's text, plus the statement for the developer's log and
// the engine's error code (SQLSTATE on PostgreSQL, the extended result code on SQLite).
class DatabaseError : public AppError {
public:
    DatabaseError(const QString &message, const QString &statement = {}, const QString &code = {})
        : AppError(message), m_statement(statement), m_code(code) {}
    const QString &statement() const noexcept { return m_statement; }
    const QString &code() const noexcept { return m_code; }
    // A deadlock or a serialisation failure: the same work may succeed when run again.
    bool isTransient() const { return m_code == u"40P01" || m_code == u"40001"; }

private:
    QString m_statement;
    QString m_code;
};

// The database is of another program version or damaged: nothing may be read or written.
class SchemaVersionError : public AppError {
public:
    using AppError::AppError;
};

// The database was brought to a schema of a newer program than this one.
class NewerSchemaError : public SchemaVersionError {
public:
    using SchemaVersionError::SchemaVersionError;
};

// A piece of user input as a message quotes it: in guillemets, cut to a few dozen characters, so
// that a long input never floods a message box or the log.
inline QString quoteInput(const QString &input, int max = 40) {
    QString s = input.size() > max ? input.left(max) + QStringLiteral("…") : input;
    s.replace(QChar(0), QStringLiteral("\\0"));
    return QStringLiteral("«") + s + QStringLiteral("»");
}

// Posting a row that another connection changed or removed since it was read.
class ConflictError : public DatabaseError {
public:
    using DatabaseError::DatabaseError;
};
