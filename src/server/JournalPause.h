#pragma once

#include "data/Connection.h"

#include <QList>
#include <QString>
#include <utility>

namespace Journal {

// The journal's triggers taken away for a while: for a generated load, which is nobody's edit,
// and for measuring what the journal costs. On SQLite they are dropped and made again, on
// PostgreSQL disabled and enabled (only on the tables the account owns; the others keep writing).
// Inside a transaction a rollback undoes the pause too, so a failed load leaves them as they were;
// restore() puts them back and reports a failure, the destructor puts back what restore() did not.
class Pause {
public:
    explicit Pause(Connection &cn);
    ~Pause();
    void restore();
    Pause(const Pause &) = delete;
    Pause &operator=(const Pause &) = delete;

private:
    Connection &m_cn;
    QList<std::pair<QString, QString>> m_paused; // SQLite: name, statement; PostgreSQL: table, trigger
};

} // namespace Journal
