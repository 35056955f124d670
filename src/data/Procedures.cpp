#include "Procedures.h"

#include "Errors.h"

#include <QRegularExpression>

namespace {
QString bare(const QString &name) { return name.startsWith(u'@') ? name.mid(1) : name; }
} // namespace

Parameter *ProcedureCall::find(const QString &name) const
{
    const QString n = bare(name);
    for (Parameter &p : m_params)
        if (bare(p.name).compare(n, Qt::CaseInsensitive) == 0)
            return &p;
    return nullptr;
}

QVariant ProcedureCall::arg(const QString &name) const
{
    const Parameter *p = find(name);
    return p ? p->value : QVariant();
}

int ProcedureCall::argInt(const QString &name, int fallback) const
{
    const QVariant v = arg(name);
    bool ok = false;
    const int i = v.toInt(&ok);
    return v.isNull() || !ok ? fallback : i;
}

QString ProcedureCall::argText(const QString &name) const
{
    const QVariant v = arg(name);
    return v.isNull() ? QString() : v.toString().trimmed();
}

void ProcedureCall::setOut(const QString &name, const QVariant &value)
{
    if (Parameter *p = find(name))
        p->value = value;
}

ProcedureCatalogue &ProcedureCatalogue::instance()
{
    static ProcedureCatalogue c;
    return c;
}

QString ProcedureCatalogue::baseName(const QString &name)
{
    QString n = name.trimmed();
    const qsizetype semi = n.indexOf(u';');
    if (semi >= 0)
        n.truncate(semi);
    if (n.startsWith(u'[') && n.endsWith(u']'))
        n = n.mid(1, n.size() - 2);
    if (n.startsWith(QStringLiteral("dbo."), Qt::CaseInsensitive))
        n = n.mid(4);
    return n;
}

void ProcedureCatalogue::add(ProcedureDef def)
{
    const QString key = def.name.toLower();
    m_defs.insert(key, std::move(def));
}

const ProcedureDef *ProcedureCatalogue::find(const QString &name) const
{
    auto it = m_defs.constFind(baseName(name).toLower());
    return it == m_defs.constEnd() ? nullptr : &*it;
}

QStringList ProcedureCatalogue::names() const
{
    QStringList out;
    for (const ProcedureDef &d : m_defs)
        out << d.name;
    out.sort(Qt::CaseInsensitive);
    return out;
}

QVector<Parameter> procedureParameters(const QString &name)
{
    const ProcedureDef *def = ProcedureCatalogue::instance().find(name);
    if (!def)
        throw DatabaseError(QStringLiteral("Не найдена процедура «%1»").arg(ProcedureCatalogue::baseName(name)));
    QVector<Parameter> out;
    out << Parameter{QStringLiteral("@RETURN_VALUE"), FieldType::Integer, 0, ParamDirection::ReturnValue, {}};
    out << def->params;
    return out;
}

ResultSet callProcedure(Connection &cn, const QString &name, QVector<Parameter> &callerParams)
{
    const ProcedureDef *def = ProcedureCatalogue::instance().find(name);
    if (!def)
        throw DatabaseError(QStringLiteral("Не найдена процедура «%1»").arg(ProcedureCatalogue::baseName(name)));

    // The body sees the procedure's own parameters; the caller's list is matched by position after
    // @RETURN_VALUE, as the server would bind it.
    QVector<Parameter> params = def->params;
    int offset = 0;
    if (!callerParams.isEmpty() && callerParams.front().direction == ParamDirection::ReturnValue)
        offset = 1;
    for (int i = 0; i < params.size(); ++i) {
        const int j = i + offset;
        QVariant v = j < callerParams.size() ? callerParams[j].value : QVariant();
        if (v.isValid() && !v.isNull() && params[i].type != FieldType::Unknown)
            v = normalizeValue(params[i].type, v);
        params[i].value = v.isNull() ? QVariant() : v;
    }

    ResultSet rs;
    {
        Transaction tx(cn);
        ProcedureCall call(cn, *def, params);
        rs = def->body(call);
        tx.commit();
    }

    for (int i = 0; i < params.size(); ++i) {
        const int j = i + offset;
        if (j < callerParams.size() && params[i].direction != ParamDirection::Input)
            callerParams[j].value = params[i].value;
    }
    if (!callerParams.isEmpty() && offset == 1)
        callerParams.front().value = 0;

    // Result columns take the declared spelling and type.
    for (ColumnInfo &c : rs.columns) {
        for (const ColumnInfo &d : def->columns)
            if (d.name.compare(c.name, Qt::CaseInsensitive) == 0) {
                const FieldType was = c.type;
                c = d;
                if (was != d.type && d.type != FieldType::Unknown) {
                    const int idx = int(&c - rs.columns.data());
                    for (auto &row : rs.rows)
                        row[idx] = normalizeValue(d.type, row[idx]);
                }
                break;
            }
    }
    return rs;
}

QString executedProcedureName(const QString &text)
{
    static const QRegularExpression re(QStringLiteral(R"(^\s*EXEC(?:UTE)?\s+([\[\]\w.]+))"),
                                       QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(text);
    return m.hasMatch() ? ProcedureCatalogue::baseName(m.captured(1)) : QString();
}
