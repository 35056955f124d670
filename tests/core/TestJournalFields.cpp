// The change texts of the journal read without QJsonDocument: every text must read exactly as
// QJsonDocument reads it (the same fields in the same order, the same types and values), whether
// it takes the direct way or falls back.

#include "server/JournalFields.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

using JournalFields::Value;

// A value as QJsonValue gives it, written out with its type.
QString describe(const QJsonValue &v) {
    switch (v.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double: {
        const QVariant x = v.toVariant();
        return QStringLiteral("%1:%2").arg(QLatin1String(x.typeName()),
                                           QString::number(v.toDouble(), 'g', 17));
    }
    case QJsonValue::String:
        return u'"' + v.toString() + u'"';
    case QJsonValue::Array:
        return QStringLiteral("array");
    case QJsonValue::Object:
        return QStringLiteral("object");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("undefined");
}

QString describe(const Value &v) {
    switch (v.kind) {
    case Value::Kind::Null:
        return QStringLiteral("null");
    case Value::Kind::Bool:
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case Value::Kind::Integer:
    case Value::Kind::Double:
        return QStringLiteral("%1:%2").arg(QLatin1String(v.toVariant().typeName()),
                                           QString::number(v.toDouble(), 'g', 17));
    case Value::Kind::String:
        return u'"' + v.toString() + u'"';
    case Value::Kind::Array:
        return QStringLiteral("array");
    case Value::Kind::Object:
        return QStringLiteral("object");
    case Value::Kind::Undefined:
        break;
    }
    return QStringLiteral("undefined");
}

QStringList byQt(const QString &text) {
    QStringList out;
    const QJsonObject o = QJsonDocument::fromJson(text.toUtf8()).object();
    for (auto j = o.constBegin(); j != o.constEnd(); ++j) {
        QString line = j.key() + QStringLiteral(" = ") + describe(j.value());
        if (j.value().isArray()) {
            const QJsonArray a = j.value().toArray();
            line += QStringLiteral(" [%1, %2]").arg(describe(a.at(0)), describe(a.at(1)));
        }
        out << line;
    }
    return out;
}

QStringList byReader(const QString &text) {
    QStringList out;
    for (const JournalFields::Field &f : JournalFields::Read(text)) {
        QString line = f.name + QStringLiteral(" = ") + describe(f.value);
        if (f.value.isArray())
            line += QStringLiteral(" [%1, %2]").arg(describe(f.first), describe(f.second));
        out << line;
    }
    return out;
}

TEST(JournalFieldsTest, ReadsEveryTextAsQJsonDocumentReadsIt) {
    const char *const texts[] = {
        // as the SQLite triggers write them, and as PostgreSQL's jsonb gives them back
        R"({"DevcNumber":["a","b"]})",
        R"({"CmplIdDevice":[12,7],"Price":[null,"12.5000"],"CmplDateSet":["2024-01-02 10:11:00",null]})",
        R"({"DevcName": "HP 1020", "DevcIdKind": 3, "DevcPrinting": true, "Used": null})",
        R"({"Pass": null, "Name": ["Петров Алексей", "Иванов И."], "DomainSource": [1, 0]})",
        R"({"Moving":"2024-03-04T05:06:07","Place":"Склад «Центр»"})",
        R"(  {  "A" : [ 1 , 2 ] ,	"B"	:
"c" }  )",
        "{}",
        "{ }",
        // the order a QJsonObject keeps: by name, capitals first
        R"({"b":1,"a":2,"B":3,"_":4,"A1":5})",
        // escapes
        R"({"s":["a\"b\\c\/d\b\f\n\r\t","\u00e9\u0416\u20ac\u0000"]})",
        R"({"s":"\ud83d\ude00"})",
        R"({"s":"\uDFFF"})",
        R"({"s":"\x"})",
        R"({"s":"\u12"})",
        // numbers: whole numbers within 64 bits are integers, minus zero is zero
        R"({"n":[0,-0,-0.0,12.0,1E2,1e-2,1.5,-3]})",
        R"({"n":[9223372036854775807,-9223372036854775808,9223372036854775808,99999999999999999999]})",
        R"({"n":[123456789012345678,9007199254740993,0.1,1e300,-1e-7,5e-324,1e-400,1e400]})",
        R"({"n":[01]})",
        R"({"n":[1.]})",
        R"({"n":[.5]})",
        R"({"n":[+1]})",
        R"({"n":[-]})",
        R"({"n":[1e]})",
        // arrays: short, long, empty, nested; objects inside
        R"({"a":[],"b":[1],"c":[1,2,3],"d":[[1],2],"e":[{"x":1},2],"f":{"x":1}})",
        // repeated names, the same name in another case, names beyond ASCII
        R"({"a":[1,2],"a":[3,4]})",
        R"({"DevcName":["a","b"],"devcname":["c","d"]})",
        R"({"Имя":1,"a":2})",
        // no object at all, or more than one
        "",
        "null",
        "[1,2]",
        "not json",
        R"({"a":1} trailing)",
        R"({"a":1,})",
        R"({"a" 1})",
        R"({"a":tru})",
        R"({a:1})",
        "{\"a\":\"raw\tcontrol\"}",
        "{\"a\":\"line\nbreak\"}",
    };
    for (const char *text : texts) {
        const QString t = QString::fromUtf8(text);
        EXPECT_EQ(byReader(t), byQt(t)) << text;
    }
    // Surrogates written as they are, whole and alone.
    for (const QString &t :
         {QStringLiteral("{\"s\":\"") + QChar(0xD83D) + QChar(0xDE00) + QStringLiteral("\"}"),
          QStringLiteral("{\"s\":\"") + QChar(0xD83D) + QStringLiteral("\"}"),
          QStringLiteral("{\"s\":\"") + QChar(0xFFFE) + QStringLiteral("\"}")})
        EXPECT_EQ(byReader(t), byQt(t)) << qPrintable(t);
}

} // namespace
