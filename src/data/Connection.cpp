#include "Connection.h"
#include "SqliteFunctions.h"

#include "Errors.h"

#include <QAtomicInt>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>

QString describeError(Engine engine, const QSqlError &e)
{
    QString text = e.databaseText().trimmed();
    if (text.isEmpty())
        text = e.text().trimmed();
    const QString code = e.nativeErrorCode();
    QString what;
    if (engine == Engine::PostgreSQL) {
        if (code == u"22001") {
            static const QRegularExpression width(QStringLiteral(R"(\((\d+)\))"));
            const auto m = width.match(text);
            what = m.hasMatch() ? QStringLiteral("Текст длиннее допустимого: не более %1 символов").arg(m.captured(1))
                                : QStringLiteral("Текст длиннее допустимого");
        } else if (code == u"23503") {
            what = QStringLiteral("Запись связана с другими данными, изменение отклонено");
        } else if (code == u"23505") {
            what = QStringLiteral("Такая запись уже есть");
        } else if (code == u"23502") {
            what = QStringLiteral("Не заполнено обязательное поле");
        } else if (code == u"23514") {
            what = QStringLiteral("Значение не допускается");
        } else if (code.startsWith(u"08") || code == u"57P01") {
            what = QStringLiteral("Связь с сервером данных потеряна");
        }
    } else {
        if (text.startsWith(QStringLiteral("CHECK constraint failed: ")) && text.contains(QStringLiteral("символ"))) {
            // Width checks are named "<column>: не более N символов".
            what = QStringLiteral("Текст длиннее допустимого: ") + text.mid(25);
        } else if (code == u"787" || text.contains(QStringLiteral("FOREIGN KEY constraint failed"))) {
            what = QStringLiteral("Запись связана с другими данными, изменение отклонено");
        } else if (code == u"2067" || code == u"1555") {
            what = QStringLiteral("Такая запись уже есть");
        } else if (code == u"1299") {
            what = QStringLiteral("Не заполнено обязательное поле");
        } else if (code == u"275") {
            what = QStringLiteral("Значение не допускается");
        } else if (code == u"5" || code == u"6") {
            what = QStringLiteral("База данных занята другим пользователем, повторите позже");
        } else if (code == u"26" || code == u"11") {
            what = QStringLiteral("Файл не является базой данных или повреждён");
        }
    }
    if (what.isEmpty())
        return text;
    return what + QStringLiteral("\n(") + text + u')';
}

int ResultSet::indexOf(const QString &column) const
{
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].name.compare(column, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant ResultSet::value(size_t row, const QString &column) const
{
    const int i = indexOf(column);
    return i < 0 || row >= rows.size() ? QVariant() : rows[row][i];
}

DatabaseUrl DatabaseUrl::parse(const QString &text)
{
    DatabaseUrl u;
    const QString t = text.trimmed();
    if (t.startsWith(QStringLiteral("sqlite:"), Qt::CaseInsensitive)) {
        u.engine = Engine::SQLite;
        u.path = t.mid(7);
        if (u.path.startsWith(QStringLiteral("//")))
            u.path = u.path.mid(2);
        if (u.path.isEmpty())
            throw AppError(QStringLiteral("Не указан файл базы данных в адресе «%1»").arg(text));
        return u;
    }
    if (t.startsWith(QStringLiteral("postgresql://"), Qt::CaseInsensitive) ||
        t.startsWith(QStringLiteral("postgres://"), Qt::CaseInsensitive)) {
        const QUrl url(t);
        u.engine = Engine::PostgreSQL;
        u.host = url.host();
        u.port = url.port(5432);
        u.user = url.userName();
        u.password = url.password();
        u.name = url.path().mid(1);
        if (!url.isValid() || u.host.isEmpty() || u.name.isEmpty())
            throw AppError(QStringLiteral("Неверный адрес базы данных «%1»").arg(text));
        return u;
    }
    throw AppError(QStringLiteral("Неверный адрес базы данных «%1»: ожидается sqlite:<файл> или "
                                  "postgresql://сервер/база")
                       .arg(text));
}

QString DatabaseUrl::toString() const
{
    if (engine == Engine::SQLite)
        return QStringLiteral("sqlite:") + path;
    QString auth = user.isEmpty() ? QString() : user + u'@';
    return QStringLiteral("postgresql://%1%2:%3/%4").arg(auth, host).arg(port).arg(name);
}

Connection::Connection()
{
    static QAtomicInt counter;
    m_name = QStringLiteral("velmora-%1").arg(counter.fetchAndAddRelaxed(1));
}

Connection::~Connection()
{
    close();
    QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase Connection::database() const { return QSqlDatabase::database(m_name, false); }

bool Connection::isOpen() const { return database().isOpen(); }

void Connection::open(const QString &text)
{
    close();
    m_url = DatabaseUrl::parse(text);
    QSqlDatabase::removeDatabase(m_name);
    QSqlDatabase db;
    if (m_url.engine == Engine::SQLite) {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(m_url.path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(TimeoutSeconds * 1000));
    } else {
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
        db.setHostName(m_url.host);
        db.setPort(m_url.port);
        db.setDatabaseName(m_url.name);
        if (!m_url.user.isEmpty())
            db.setUserName(m_url.user);
        if (!m_url.password.isEmpty())
            db.setPassword(m_url.password);
        db.setConnectOptions(QStringLiteral("connect_timeout=%1").arg(TimeoutSeconds));
    }
    if (!db.open())
        throw DatabaseError(describeError(m_url.engine, db.lastError()));
    try {
        if (m_url.engine == Engine::SQLite) {
            // A file that is not a database opens without complaint; the first statement tells.
            execute(QStringLiteral("PRAGMA foreign_keys = ON"));
            InstallSqliteFunctions(db);
            query(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        } else {
            execute(QStringLiteral("SET client_min_messages = warning"));
        }
    } catch (...) {
        close();
        throw;
    }
    m_depth = 0;
}

void Connection::close()
{
    QSqlDatabase db = database();
    if (db.isValid() && db.isOpen())
        db.close();
    m_depth = 0;
}

QSqlQuery Connection::run(const PreparedSql &sql, const QVariantList &values, const QString &original) const
{
    QSqlDatabase db = database();
    if (!db.isOpen())
        throw DatabaseError(QStringLiteral("Нет соединения с базой данных"), original);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (m_url.engine == Engine::PostgreSQL)
        q.setNumericalPrecisionPolicy(QSql::HighPrecision);
    bool ok;
    if (values.isEmpty() && sql.markNames.isEmpty()) {
        ok = q.exec(sql.text);
    } else {
        ok = q.prepare(sql.text);
        if (ok) {
            for (const QVariant &v : values)
                q.addBindValue(bindableValue(v));
            ok = q.exec();
        }
    }
    if (!ok)
        throw DatabaseError(describeError(m_url.engine, q.lastError()), original);
    return q;
}

namespace {

QVariantList valuesFor(const PreparedSql &sql, const QVariantMap &params)
{
    QVariantList out;
    out.reserve(sql.markNames.size());
    for (const QString &name : sql.markNames) {
        auto it = params.constFind(name);
        if (it == params.constEnd()) {
            bool found = false;
            for (auto j = params.constBegin(); j != params.constEnd(); ++j)
                if (j.key().compare(name, Qt::CaseInsensitive) == 0) {
                    out << j.value();
                    found = true;
                    break;
                }
            if (!found)
                out << QVariant();
        } else {
            out << *it;
        }
    }
    return out;
}

} // namespace

ResultSet Connection::fetch(QSqlQuery &q) const
{
    ResultSet rs;
    const QSqlRecord rec = q.record();
    const int n = rec.count();
    rs.columns.resize(n);
    for (int i = 0; i < n; ++i) {
        const QString name = rec.fieldName(i);
        ColumnInfo c;
        if (const ColumnInfo *known = SchemaInfo::instance().anyColumn(name)) {
            c = *known;
            c.identity = false;
            c.guessed = true;
        } else {
            c.name = name;
        }
        // Types the driver knows itself are trusted over the name.
        switch (rec.field(i).metaType().id()) {
        case QMetaType::QDateTime:
        case QMetaType::QDate:
            c.type = FieldType::DateTime;
            c.guessed = false;
            break;
        case QMetaType::Bool:
            c.type = FieldType::Boolean;
            c.guessed = false;
            break;
        case QMetaType::QByteArray:
            c.type = FieldType::Blob;
            c.guessed = false;
            break;
        default:
            break;
        }
        rs.columns[i] = c;
    }
    // Only conversions that cannot misread a value of another column of the same name.
    QVector<bool> convert(n);
    for (int i = 0; i < n; ++i) {
        const FieldType t = rs.columns[i].type;
        convert[i] = t == FieldType::DateTime || t == FieldType::Boolean || t == FieldType::Money;
    }
    while (q.next()) {
        QVector<QVariant> row(n);
        for (int i = 0; i < n; ++i) {
            QVariant v = q.value(i);
            if (v.isNull())
                v = QVariant();
            row[i] = convert[i] ? normalizeValue(rs.columns[i].type, v) : v;
        }
        rs.rows.push_back(std::move(row));
    }
    return rs;
}

ResultSet Connection::query(const QString &sql, const QVariantMap &params) const
{
    const PreparedSql p = prepareSql(sql, m_url.engine);
    QSqlQuery q = run(p, valuesFor(p, params), sql);
    return fetch(q);
}

ResultSet Connection::queryPositional(const QString &sql, const QVariantList &values) const
{
    const PreparedSql p = prepareSql(sql, m_url.engine);
    const QStringList names = p.uniqueNames();
    QVariantMap map;
    for (int i = 0; i < names.size(); ++i)
        map.insert(names[i], i < values.size() ? values[i] : QVariant());
    QSqlQuery q = run(p, valuesFor(p, map), sql);
    return fetch(q);
}

int Connection::execute(const QString &sql, const QVariantMap &params) const
{
    const PreparedSql p = prepareSql(sql, m_url.engine);
    QSqlQuery q = run(p, valuesFor(p, params), sql);
    return q.numRowsAffected();
}

QVariant Connection::scalar(const QString &sql, const QVariantMap &params) const
{
    const ResultSet rs = query(sql, params);
    return rs.rows.empty() || rs.columns.isEmpty() ? QVariant() : rs.rows.front().front();
}

void Connection::begin()
{
    if (m_depth++ > 0)
        return;
    m_rollbackOnly = false;
    if (!database().transaction()) {
        m_depth = 0;
        throw DatabaseError(database().lastError().text().trimmed());
    }
}

void Connection::commit()
{
    if (m_depth <= 0)
        return;
    if (--m_depth > 0)
        return;
    if (m_rollbackOnly) {
        database().rollback();
        throw DatabaseError(QStringLiteral("Изменения отменены из-за ошибки"));
    }
    if (!database().commit()) {
        const QString msg = database().lastError().text().trimmed();
        database().rollback();
        throw DatabaseError(msg);
    }
}

void Connection::rollback()
{
    if (m_depth <= 0)
        return;
    if (--m_depth > 0) {
        m_rollbackOnly = true; // the outermost scope must not commit half of the work
        return;
    }
    database().rollback();
    m_rollbackOnly = false;
}

Transaction::~Transaction()
{
    if (!m_done)
        m_cn.rollback();
}

void Transaction::commit()
{
    m_done = true;
    m_cn.commit();
}
