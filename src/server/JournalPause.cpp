#include "server/JournalPause.h"

namespace Journal {

Pause::Pause(Connection &cn) : m_cn(cn) {
    if (cn.engine() == Engine::SQLite) {
        const ResultSet rs =
            cn.query(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'trigger' "
                                    "AND name LIKE 'trJournal%' AND name <> 'trJournalReadOnly'"));
        for (const auto &r : rs.rows) {
            cn.execute(QStringLiteral("DROP TRIGGER [%1]").arg(r[0].toString()));
            m_paused.append({r[0].toString(), r[1].toString()});
        }
        return;
    }
    const ResultSet rs = cn.query(QStringLiteral(
        "SELECT format('%I.%I', n.nspname, c.relname), format('%I', t.tgname) FROM pg_trigger t "
        "JOIN pg_class c ON c.oid = t.tgrelid JOIN pg_namespace n ON n.oid = c.relnamespace "
        "WHERE NOT t.tgisinternal AND n.nspname = current_schema() AND t.tgname LIKE 'trjournal%' "
        "AND t.tgname <> 'trjournalreadonly' AND t.tgenabled <> 'D' AND pg_has_role(c.relowner, 'USAGE')"));
    for (const auto &r : rs.rows) {
        cn.execute(QStringLiteral("ALTER TABLE %1 DISABLE TRIGGER %2").arg(r[0].toString(), r[1].toString()));
        m_paused.append({r[0].toString(), r[1].toString()});
    }
}

void Pause::restore() {
    while (!m_paused.isEmpty()) {
        const auto [first, second] = m_paused.first();
        m_cn.execute(m_cn.engine() == Engine::SQLite
                         ? second
                         : QStringLiteral("ALTER TABLE %1 ENABLE TRIGGER %2").arg(first, second));
        m_paused.removeFirst();
    }
}

Pause::~Pause() {
    try {
        restore();
    } catch (...) {
        // Unwinding from a failure: the transaction it happened in rolls the pause back.
    }
}

} // namespace Journal
