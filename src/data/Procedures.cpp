#include "data/Procedures.h"

#include "data/Errors.h"
#include "data/ValueCheck.h"

#include <QRegularExpression>

namespace {
QString bare(const QString &name) {
    return name.startsWith(u'@') ? name.mid(1) : name;
}
} // namespace

Parameter *ProcedureCall::find(const QString &name) const {
    const QString n = bare(name);
    for (Parameter &p : m_params)
        if (bare(p.name).compare(n, Qt::CaseInsensitive) == 0)
            return &p;
    return nullptr;
}

QVariant ProcedureCall::arg(const QString &name) const {
    const Parameter *p = find(name);
    return p ? p->value : QVariant();
}

int ProcedureCall::argInt(const QString &name, int fallback) const {
    const QVariant v = arg(name);
    bool ok = false;
    const int i = v.toInt(&ok);
    return v.isNull() || !ok ? fallback : i;
}

QString ProcedureCall::argText(const QString &name) const {
    const QVariant v = arg(name);
    return v.isNull() ? QString() : v.toString().trimmed();
}

void ProcedureCall::setOut(const QString &name, const QVariant &value) {
    if (Parameter *p = find(name))
        p->value = value;
}

ProcedureCatalogue &ProcedureCatalogue::instance() {
    static ProcedureCatalogue c;
    return c;
}

QString ProcedureCatalogue::baseName(const QString &name) {
    // A name, bracketed or not, with the owner "dbo." and the group number ";1" both optional.
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*(?:\[?dbo\]?\.)?(?:\[(\w+)\]|(\w+))(?:\s*;\s*1)?\s*$)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    const auto m = re.match(name);
    if (!m.hasMatch())
        return QString();
    return m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
}

void ProcedureCatalogue::add(ProcedureDef def) {
    const QString key = def.name.toLower();
    m_defs.insert(key, std::move(def));
}

void ProcedureCatalogue::remove(const QString &name) {
    m_defs.remove(baseName(name).toLower());
}

const ProcedureDef *ProcedureCatalogue::find(const QString &name) const {
    const QString base = baseName(name);
    if (base.isEmpty())
        return nullptr;
    auto it = m_defs.constFind(base.toLower());
    return it == m_defs.constEnd() ? nullptr : &*it;
}

QStringList ProcedureCatalogue::names() const {
    QStringList out;
    for (const ProcedureDef &d : m_defs)
        out << d.name;
    out.sort(Qt::CaseInsensitive);
    return out;
}

namespace {

const ProcedureDef &findProcedure(const QString &name) {
    const ProcedureDef *def = ProcedureCatalogue::instance().find(name);
    if (!def)
        throw DatabaseError(QStringLiteral("Не найдена процедура %1").arg(quoteInput(name)));
    return *def;
}

} // namespace

QVector<Parameter> procedureParameters(const QString &name) {
    const ProcedureDef *def = &findProcedure(name);
    QVector<Parameter> out;
    out << Parameter{QStringLiteral("@RETURN_VALUE"), FieldType::Integer, 0, ParamDirection::ReturnValue, {}};
    out << def->params;
    return out;
}

ResultSet callProcedure(Connection &cn, const QString &name, QVector<Parameter> &callerParams) {
    const ProcedureDef *def = &findProcedure(name);

    // The body sees the procedure's own parameters; the caller's list is matched by position after
    // @RETURN_VALUE, as the server would bind it. Every value is checked against the parameter's
    // type before anything runs.
    QVector<Parameter> args = def->params;
    int offset = 0;
    if (!callerParams.isEmpty() && callerParams.front().direction == ParamDirection::ReturnValue)
        offset = 1;
    for (int i = 0; i < args.size(); ++i) {
        const int j = i + offset;
        const QVariant v = j < callerParams.size() ? callerParams[j].value : QVariant();
        const QString what = QStringLiteral("параметра %1 процедуры %2").arg(args[i].name, def->name);
        args[i].value = checkedValue(args[i].type, v, what);
        if (args[i].required && args[i].value.isNull())
            throw AppError(QStringLiteral("Не указано значение %1").arg(what));
    }

    // A procedure that returns rows only reads; the others write, and on SQLite take the write lock
    // as they begin, so that the busy time-out applies instead of an immediate failure. A deadlock
    // or a serialisation failure on PostgreSQL is retried once when this call owns the transaction.
    const TxMode mode = def->columns.isEmpty() ? TxMode::Write : TxMode::Read;
    const int attempts = cn.inTransaction() ? 1 : 2;
    ResultSet rs;
    QVector<Parameter> params;
    for (int attempt = 1;; ++attempt) {
        params = args;
        try {
            Transaction tx(cn, mode);
            ProcedureCall call(cn, *def, params);
            rs = def->body(call);
            tx.commit();
            break;
        } catch (const DatabaseError &e) {
            if (!e.isTransient() || attempt >= attempts)
                throw;
        }
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

namespace {

const QRegularExpression &executePattern() {
    static const QRegularExpression re(QStringLiteral(R"(^\s*EXEC(?:UTE)?\s+([\[\]\w.]+(?:\s*;\s*1)?))"),
                                       QRegularExpression::CaseInsensitiveOption |
                                           QRegularExpression::UseUnicodePropertiesOption);
    return re;
}

} // namespace

QString executedProcedureName(const QString &text) {
    const auto m = executePattern().match(text);
    return m.hasMatch() ? ProcedureCatalogue::baseName(m.captured(1)) : QString();
}

QVector<Parameter> executeArguments(const QString &text, const QVector<Parameter> &declared) {
    const auto m = executePattern().match(text);
    if (!m.hasMatch())
        return {};
    // One argument: an optional "@Name =", then a :name, a whole number, a quoted text or NULL;
    // arguments are separated by commas.
    static const QRegularExpression arg(
        QStringLiteral(
            R"(\G\s*(?:@\w+\s*=\s*)?(?::(\w+)|([+-]?[0-9]+)|'((?:[^']|'')*)'|(NULL))\s*(,|;?\s*$))"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    QVector<Parameter> out;
    qsizetype at = m.capturedEnd(0);
    if (QStringView(text).mid(at).trimmed().isEmpty() || QStringView(text).mid(at).trimmed() == u";")
        return out;
    for (;;) {
        const auto a = arg.match(text, at);
        if (!a.hasMatch() || a.capturedStart(0) != at)
            throw AppError(
                QStringLiteral("Неверный вызов процедуры %1: после имени ожидаются значения через запятую "
                               "(:параметр, число, 'текст' или NULL)")
                    .arg(quoteInput(text.trimmed())));
        Parameter p;
        if (!a.captured(1).isEmpty()) {
            p.name = a.captured(1);
            for (const Parameter &d : declared) {
                QString n = d.name;
                if (n.startsWith(u'@'))
                    n.remove(0, 1);
                if (n.compare(p.name, Qt::CaseInsensitive) == 0) {
                    p.value = d.value;
                    break;
                }
            }
        } else if (!a.captured(2).isEmpty()) {
            p.value = a.captured(2); // checked against the parameter's type by callProcedure
        } else if (a.capturedStart(3) >= 0) {
            p.value = a.captured(3).replace(QStringLiteral("''"), QStringLiteral("'"));
        }
        out << p;
        at = a.capturedEnd(0);
        if (a.captured(5) != u",")
            break;
    }
    return out;
}
