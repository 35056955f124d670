#include "SchemaInfo.h"

#include <QDateTime>

const ColumnInfo *TableInfo::column(const QString &n) const
{
    for (const ColumnInfo &c : columns)
        if (c.name.compare(n, Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

SchemaInfo &SchemaInfo::instance()
{
    static SchemaInfo info;
    return info;
}

void SchemaInfo::addTable(const TableInfo &t)
{
    const QString key = t.name.toLower();
    if (auto it = m_byName.find(key); it != m_byName.end())
        m_tables[*it] = t;
    else {
        m_byName.insert(key, int(m_tables.size()));
        m_tables << t;
    }
    for (const ColumnInfo &c : t.columns)
        if (!m_anyColumn.contains(c.name.toLower()))
            m_anyColumn.insert(c.name.toLower(), c);
}

const TableInfo *SchemaInfo::table(const QString &name) const
{
    QString n = name;
    if (n.startsWith(u'[') && n.endsWith(u']'))
        n = n.mid(1, n.size() - 2);
    auto it = m_byName.find(n.toLower());
    return it == m_byName.end() ? nullptr : &m_tables[*it];
}

const ColumnInfo *SchemaInfo::anyColumn(const QString &name) const
{
    auto it = m_anyColumn.find(name.toLower());
    return it == m_anyColumn.end() ? nullptr : &*it;
}

QVariant normalizeValue(FieldType type, const QVariant &raw)
{
    if (raw.isNull() || !raw.isValid())
        return QVariant();
    const int id = raw.typeId();
    switch (type) {
    case FieldType::DateTime:
        if (id == QMetaType::QString) {
            QString s = raw.toString();
            if (s.size() > 10 && s[10] == u' ')
                s[10] = u'T';
            QDateTime dt = QDateTime::fromString(s, Qt::ISODateWithMs);
            if (!dt.isValid())
                dt = QDateTime::fromString(s, Qt::ISODate);
            if (!dt.isValid()) {
                const QDate d = QDate::fromString(s.left(10), Qt::ISODate);
                if (d.isValid())
                    dt = QDateTime(d, QTime(0, 0));
            }
            return dt.isValid() ? QVariant(dt) : raw;
        }
        if (id == QMetaType::QDate)
            return QDateTime(raw.toDate(), QTime(0, 0));
        return raw;
    case FieldType::Boolean:
        if (id == QMetaType::LongLong || id == QMetaType::Int || id == QMetaType::Double)
            return raw.toLongLong() != 0;
        if (id == QMetaType::QString)
            return raw.toString() == u"1" || raw.toString().compare(u"true", Qt::CaseInsensitive) == 0;
        return raw;
    case FieldType::Integer:
    case FieldType::SmallInt:
        if (id == QMetaType::LongLong || id == QMetaType::QString || id == QMetaType::Double)
            return raw.toInt();
        return raw;
    case FieldType::Money:
        if (id != QMetaType::QString) {
            bool ok = false;
            const qint64 u = Money::toUnits(raw, &ok);
            return ok ? QVariant(Money::fromUnits(u)) : raw;
        }
        return Money::fromUnits(Money::toUnits(raw));
    case FieldType::String:
    case FieldType::FixedChar:
    case FieldType::Memo:
        if (id != QMetaType::QString)
            return raw.toString();
        return raw;
    default:
        return raw;
    }
}

QVariant bindableValue(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QVariant();
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 00:00:00");
    default:
        return value;
    }
}

namespace Money {

qint64 toUnits(const QVariant &value, bool *ok)
{
    if (ok)
        *ok = true;
    if (value.isNull() || !value.isValid())
        return 0;
    const int id = value.typeId();
    if (id == QMetaType::Int || id == QMetaType::LongLong)
        return value.toLongLong() * 10000;
    if (id == QMetaType::Double || id == QMetaType::Float)
        return qRound64(value.toDouble() * 10000.0);
    QString s = value.toString().trimmed().replace(u',', u'.');
    bool neg = false;
    if (s.startsWith(u'-')) {
        neg = true;
        s.remove(0, 1);
    }
    const qsizetype dot = s.indexOf(u'.');
    const QString whole = dot < 0 ? s : s.left(dot);
    QString frac = dot < 0 ? QString() : s.mid(dot + 1);
    bool okWhole = true, okFrac = true;
    const qint64 w = whole.isEmpty() ? 0 : whole.toLongLong(&okWhole);
    // Round half up on the fifth decimal.
    int roundUp = 0;
    if (frac.size() > 4) {
        roundUp = frac[4].digitValue() >= 5 ? 1 : 0;
        frac.truncate(4);
    }
    while (frac.size() < 4)
        frac += u'0';
    const qint64 f = frac.toLongLong(&okFrac);
    if (ok)
        *ok = okWhole && okFrac && !(whole.isEmpty() && dot < 0);
    const qint64 units = w * 10000 + f + roundUp;
    return neg ? -units : units;
}

QString fromUnits(qint64 units)
{
    const bool neg = units < 0;
    const quint64 a = neg ? quint64(-units) : quint64(units);
    return QStringLiteral("%1%2.%3")
        .arg(neg ? QStringLiteral("-") : QString())
        .arg(a / 10000)
        .arg(a % 10000, 4, 10, QLatin1Char('0'));
}

} // namespace Money
