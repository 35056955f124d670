#pragma once

#include "data/Connection.h"

#include <QDateTime>
#include <optional>

// Reading the change journal the database keeps (JournalSchema.h): entries newest first, told in
// the program's words (field captions, names of the rows a key points to), and keeping it
// bounded in time.
namespace Journal {

// The person the program names for its writes: the operating-system account and the
// workstation's host name.
QString WorkstationPerson();

// Names the person for the connection's writes unless a person is named already.
void NamePerson(Connection &cn);

// What to read. Null or empty members do not filter.
struct Filter {
    QDateTime since, until; // Stamp >= since, Stamp < until
    QString person;         // a part of the person's text, case and "ё" not counting
    QString table;          // a journalled table (Journal's TableName)
    std::optional<qint64> key;
    QString text; // a part of the shown texts (what, change)
    int limit = 5000;
};

// The shown entries: ID, Stamp, Person, TableName, RowKey, What (the object in words), Act (the
// action in words), Change (each field in words, old → new).
ResultSet Read(Connection &cn, const Filter &filter);

// The entries of one object and of what it holds: kind is "Department", "Workplace",
// "DeviceUnit", "CompleteSet" (an element with its moves) or "User" (with the checklist).
ResultSet History(Connection &cn, const QString &kind, qint64 key, int limit = 5000);

// The journalled tables with their captions, in the order of the program's menus.
QList<std::pair<QString, QString>> Tables();
QString TableCaption(const QString &table);
QString ActionText(const QString &act);

// The months entries are kept (JournalSetting.KeepMonths, 36 unless set).
int KeepMonths(Connection &cn);
void SetKeepMonths(Connection &cn, int months);

// Removes the entries older than the kept months; returns how many.
int Purge(Connection &cn);

// Purges when no purge ran today (on any workstation); returns the entries removed, or -1 when
// it was not yet due.
int PurgeIfDue(Connection &cn);

// Registers the procedures JournalList and JournalHistory.
void RegisterProcedures();

} // namespace Journal
