#pragma once

#include "data/Connection.h"

#include <functional>

enum class ParamDirection { Input, Output, InputOutput, ReturnValue };

struct Parameter {
    QString name;
    FieldType type = FieldType::Unknown;
    int size = 0;
    ParamDirection direction = ParamDirection::Input;
    QVariant value;
    bool required = false; // the procedure cannot run without a value: Null is refused
};

struct ProcedureDef;

// What a procedure body sees: the connection (inside the call's transaction) and its parameters.
class ProcedureCall {
public:
    ProcedureCall(Connection &cn, const ProcedureDef &def, QVector<Parameter> &params)
        : cn(cn), def(def), m_params(params) {}

    Connection &cn;
    const ProcedureDef &def;

    // The value of a parameter, by name with or without "@"; Null when it was not passed.
    QVariant arg(const QString &name) const;
    bool isNull(const QString &name) const { return arg(name).isNull(); }
    int argInt(const QString &name, int fallback = 0) const;
    QString argText(const QString &name) const; // trimmed text, empty for Null
    void setOut(const QString &name, const QVariant &value);

private:
    Parameter *find(const QString &name) const;
    QVector<Parameter> &m_params;
};

using ProcedureBody = std::function<ResultSet(ProcedureCall &)>;

struct ProcedureDef {
    QString name;                // without the ";1" suffix
    QVector<Parameter> params;   // after @RETURN_VALUE, in call order
    QVector<ColumnInfo> columns; // result columns, exactly as the callers spell them
    ProcedureBody body;
};

// The server procedures, by name. The data layer resolves "Name;1", "Name" and
// "EXECUTE Name :P" through it; every call runs in one transaction.
class ProcedureCatalogue {
public:
    static ProcedureCatalogue &instance();

    void add(ProcedureDef def);
    void remove(const QString &name); // tests take back what they registered
    // Accepts "Name", "Name;1", "[Name]" and "dbo.Name"; anything after the name but ";1" (another
    // number, a second statement) finds nothing.
    const ProcedureDef *find(const QString &name) const;
    QStringList names() const;

    static QString baseName(const QString &name); // "Name;1" -> "Name"; empty when malformed

private:
    QHash<QString, ProcedureDef> m_defs;
};

// The parameter list a caller declares for a procedure: @RETURN_VALUE, then the procedure's own.
QVector<Parameter> procedureParameters(const QString &name);

// Runs a procedure in one transaction. `params` is the caller's list (with @RETURN_VALUE first
// when present); out and in/out values are written back into it. Throws when the name is unknown.
ResultSet callProcedure(Connection &cn, const QString &name, QVector<Parameter> &params);

// "EXECUTE Name :P1, :P2" -> "Name" (empty when the text is not such a call).
QString executedProcedureName(const QString &text);

// The arguments of "EXECUTE Name :P1, 10, 'text', NULL" in call order: a `:name` takes the value
// of the declared parameter of that name, a literal its own value. Throws on anything else after
// the name (a second statement, an expression), so that nothing written there is silently dropped.
QVector<Parameter> executeArguments(const QString &text, const QVector<Parameter> &declared);
