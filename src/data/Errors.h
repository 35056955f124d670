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

// A database statement failed: the driver's text, plus the statement for the developer's log.
class DatabaseError : public AppError {
public:
    DatabaseError(const QString &message, const QString &statement = {})
        : AppError(message), m_statement(statement) {}
    const QString &statement() const noexcept { return m_statement; }

private:
    QString m_statement;
};

// Posting a row that another connection changed or removed since it was read.
class ConflictError : public DatabaseError {
public:
    using DatabaseError::DatabaseError;
};
