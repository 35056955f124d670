#include "data/TessalADO.h"

#include "data/Errors.h"
#include "data/ValueCheck.h"

#include <QDateTime>

int variantCode(const QVariant &v) {
    if (!v.isValid())
        return varEmpty;
    if (v.isNull())
        return varNull;
    switch (v.typeId()) {
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return varSmallint;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong: // SQLite hands every integer over as 64 bits
    case QMetaType::ULongLong:
        return varInteger;
    case QMetaType::Float:
        return varSingle;
    case QMetaType::Double:
        return varDouble;
    case QMetaType::QDateTime:
    case QMetaType::QDate:
    case QMetaType::QTime:
        return varDate;
    case QMetaType::QString:
    case QMetaType::QChar:
        return varUString;
    case QMetaType::Bool:
        return varBoolean;
    case QMetaType::QVariantList:
        return varArray | varVariant;
    case QMetaType::QByteArray:
        return varArray | 0x0011;
    default:
        return varUnknown;
    }
}

QVariant typedValueToVariant(const TypedValue &tv) {
    switch (tv.tag) {
    case vtInteger:
        return checkedValue(FieldType::Integer, tv.value, QStringLiteral("целого аргумента"));
    case vtBoolean:
        return tv.value.isNull() ? QVariant() : QVariant(tv.value.toBool());
    case vtChar:
        return tv.value.isNull() ? QVariant() : QVariant(tv.value.toString().left(1));
    case vtExtended:
        return tv.value.isNull() ? QVariant() : QVariant(tv.value.toDouble());
    case vtString:
    case vtAnsiString:
    case vtUnicodeString:
        return tv.value.isNull() ? QVariant() : QVariant(tv.value.toString());
    case vtCurrency:
        return tv.value.isNull() ? QVariant() : QVariant(Money::fromUnits(Money::toUnits(tv.value)));
    case vtVariant:
        return tv.value;
    default:
        throw AppError(QStringLiteral("Неопределённый тип параметра (%1).").arg(tv.tag));
    }
}

void OpenWithParams(DataSet &ds, const TypedValues &args, int last) {
    const int skip = ds.commandType() == CommandType::StoredProc ? 1 : 0;
    ds.close();
    QVector<Parameter> &params = ds.parameters();
    for (int p = skip; p < params.size(); ++p) {
        const int i = p - skip;
        params[p].value = i > last || i >= args.size() ? QVariant() : typedValueToVariant(args[i]);
    }
    ds.open();
}

bool ExecuteCommand(Command &cmd, const QString &text) {
    if (!cmd.connection())
        throw AppError(QStringLiteral("Команда не связана с соединением"));
    cmd.text = text;
    if (const QString proc = executedProcedureName(text); !proc.isEmpty()) {
        QVector<Parameter> args = executeArguments(text, {});
        callProcedure(*cmd.connection(), proc, args);
    } else {
        cmd.connection()->execute(text);
    }
    return true;
}

bool ExecuteSql(Connection &cn, const QString &text) {
    // One command object, pointed at the connection of each call: binding it for good to the
    // first caller's connection would leave it dangling once that connection is gone.
    static Command shared;
    shared.setConnection(&cn);
    return ExecuteCommand(shared, text);
}

QVariant QueryValueOn(DataSet &ds, const QString &text) {
    ds.close();
    ds.setCommand(text, CommandType::Text);
    ds.open();
    QVariant result;
    if (!ds.isEmpty()) {
        if (ds.fieldCount() < 2) {
            result = ds.fieldCount() == 1 ? ds.field(0)->value() : QVariant();
        } else {
            QVariantList values;
            for (int i = 0; i < ds.fieldCount(); ++i)
                values << ds.field(i)->value();
            result = values;
        }
    }
    ds.close();
    return result;
}

QVariant QueryValue(Connection &cn, const QString &text) {
    static DataSet *shared = new DataSet(nullptr); // lives until the program ends
    shared->setConnection(&cn);
    try {
        return QueryValueOn(*shared, text);
    } catch (...) {
        shared->close();
        throw;
    }
}

QString DeleteByKeyStatement(const QString &table, const QString &column) {
    return QStringLiteral("DELETE FROM ") + table + QStringLiteral(" WHERE ") + column +
           QStringLiteral(" = :Key");
}

void DeleteByKey(const QString &table, const Field &keyField, const QString &keyName) {
    const QString column = keyName == QStringLiteral("*") ? keyField.name() : keyName;
    Connection *cn = keyField.dataSet()->connection();
    if (!cn)
        throw AppError(QStringLiteral("Набор данных не связан с соединением"));
    cn->execute(DeleteByKeyStatement(table, column), {{QStringLiteral("Key"), keyField.value()}});
}

bool IsEmptyValue(const QVariant &v) {
    const int code = variantCode(v);
    switch (code) {
    case varEmpty:
    case varNull:
        return true;
    case varSmallint:
    case varInteger:
    case varSingle:
    case varDouble:
    case varCurrency:
        return v.toDouble() == 0.0;
    case varDate: {
        if (v.typeId() == QMetaType::QTime)
            return v.toTime() == QTime(0, 0);
        const QDateTime dt = v.toDateTime();
        return !dt.isValid() || dt == QDateTime(QDate(1899, 12, 30), QTime(0, 0));
    }
    case varOleStr:
    case varString:
    case varUString:
        return v.toString().isEmpty();
    case varBoolean:
        return !v.toBool();
    default:
        if (code & varArray) {
            if (v.typeId() == QMetaType::QByteArray)
                return v.toByteArray().isEmpty();
            QStringList parts;
            for (const QVariant &e : v.toList())
                parts << e.toString();
            return parts.join(QString()).isEmpty();
        }
        throw AppError(QStringLiteral("Проверка пустого значения. Переменная неопределенного типа %1.")
                           .arg(code, 0, 16));
    }
}

bool IsEmptyValue(const Field &field) {
    const QVariant v = field.value();
    if (field.type() == FieldType::Money && !v.isNull() && v.isValid())
        return Money::toUnits(v) == 0;
    return IsEmptyValue(v);
}

QVariant IfThenValue(bool condition, const QVariant &a, const QVariant &b) {
    return condition ? a : b;
}

bool IsDataSetActive(const DataSet &ds) {
    return ds.isActive();
}

bool HasRecords(const DataSet &ds) {
    return ds.isActive() && ds.recordCount() > 0;
}

void EnsureEditing(DataSet &ds) {
    if (!ds.isEditing())
        ds.edit();
}

void SetFieldValue(Field &field, const QVariant &value) {
    if (value.isNull() || !value.isValid()) {
        field.clear();
        return;
    }
    const QVariant current = field.value();
    if (!current.isNull() && current == value)
        return;
    EnsureEditing(*field.dataSet());
    field.setValue(value);
}
