#include "data/SchemaInfo.h"

#include "data/Errors.h"

#include <QtNumeric>

#include <QDateTime>

const ColumnInfo *TableInfo::column(const QString &n) const {
    for (const ColumnInfo &c : columns)
        if (c.name.compare(n, Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

SchemaInfo &SchemaInfo::instance() {
    static SchemaInfo info;
    return info;
}

void SchemaInfo::addTable(const TableInfo &t) {
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

void SchemaInfo::removeTable(const QString &name) {
    const TableInfo *t = table(name);
    if (!t)
        return;
    m_tables.removeAt(t - m_tables.constData());
    m_byName.clear();
    m_anyColumn.clear();
    for (int i = 0; i < m_tables.size(); ++i) {
        m_byName.insert(m_tables[i].name.toLower(), i);
        for (const ColumnInfo &c : m_tables[i].columns)
            if (!m_anyColumn.contains(c.name.toLower()))
                m_anyColumn.insert(c.name.toLower(), c);
    }
}

const TableInfo *SchemaInfo::table(const QString &name) const {
    QString n = name;
    if (n.startsWith(u'[') && n.endsWith(u']'))
        n = n.mid(1, n.size() - 2);
    auto it = m_byName.find(n.toLower());
    return it == m_byName.end() ? nullptr : &m_tables[*it];
}

const ColumnInfo *SchemaInfo::anyColumn(const QString &name) const {
    auto it = m_anyColumn.find(name.toLower());
    return it == m_anyColumn.end() ? nullptr : &*it;
}

QVariant normalizeValue(FieldType type, const QVariant &raw) {
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
    case FieldType::Money: {
        // An amount that cannot be read is an error, never a silent 0.
        bool ok = false;
        const qint64 u = Money::toUnits(raw, &ok);
        if (!ok)
            throw AppError(
                QStringLiteral("Сумма «%1» не читается как денежная (не более 922 337 203 685 477,5807)")
                    .arg(raw.toString()));
        return Money::fromUnits(u);
    }
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

QVariant bindableValue(const QVariant &value) {
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

qint64 toUnits(const QVariant &value, bool *ok) {
    // Every step is checked: an amount beyond the range of the units (±922 337 203 685 477.5807,
    // the range of a money column) or a text that is not an amount gives ok = false and 0, never
    // a wrapped-around number.
    bool good = true;
    const auto fail = [&] {
        good = false;
        return qint64(0);
    };
    const auto result = [&](qint64 units) {
        if (ok)
            *ok = good;
        return good ? units : 0;
    };
    if (value.isNull() || !value.isValid())
        return result(0);
    const int id = value.typeId();
    qint64 units = 0;
    if (id == QMetaType::Int || id == QMetaType::LongLong || id == QMetaType::Short) {
        if (qMulOverflow(value.toLongLong(), qint64(10000), &units))
            fail();
        return result(units);
    }
    if (id == QMetaType::Double || id == QMetaType::Float) {
        const double d = value.toDouble() * 10000.0;
        if (!(d > -9.2e18 && d < 9.2e18))
            return result(fail());
        return result(qRound64(d));
    }
    QString s = value.toString().trimmed().replace(u',', u'.');
    bool neg = false;
    if (s.startsWith(u'-') || s.startsWith(u'+')) {
        neg = s.startsWith(u'-');
        s.remove(0, 1);
    }
    const qsizetype dot = s.indexOf(u'.');
    const QString whole = dot < 0 ? s : s.left(dot);
    QString frac = dot < 0 ? QString() : s.mid(dot + 1);
    if ((whole.isEmpty() && frac.isEmpty()) || s.count(u'.') > 1)
        return result(fail());
    for (const QString &part : {whole, frac})
        for (QChar c : part)
            if (c < u'0' || c > u'9')
                return result(fail());
    // Round half up on the fifth decimal.
    const int roundUp = frac.size() > 4 && frac[4].digitValue() >= 5 ? 1 : 0;
    frac = frac.left(4).leftJustified(4, u'0');
    qint64 w = 0;
    for (QChar c : whole)
        if (qMulOverflow(w, qint64(10), &w) || qAddOverflow(w, qint64(c.digitValue()), &w))
            return result(fail());
    if (qMulOverflow(w, qint64(10000), &units) || qAddOverflow(units, frac.toLongLong() + roundUp, &units))
        return result(fail());
    return result(neg ? -units : units);
}

QString fromUnits(qint64 units) {
    const bool neg = units < 0;
    const quint64 a = neg ? quint64(-units) : quint64(units);
    return QStringLiteral("%1%2.%3")
        .arg(neg ? QStringLiteral("-") : QString())
        .arg(a / 10000)
        .arg(a % 10000, 4, 10, QLatin1Char('0'));
}

} // namespace Money
