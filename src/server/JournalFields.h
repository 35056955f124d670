#pragma once

#include <QString>
#include <QVariant>
#include <vector>

// The fields of a journal entry's change text ({"Field":value,...}; for a change each value is
// [old,new]), read into plain values that answer as QJsonValue would: the same types, the same
// numbers, the fields in the order a QJsonObject keeps them (by name, each name once).
namespace JournalFields {

struct Value {
    enum class Kind : unsigned char { Undefined, Null, Bool, Integer, Double, String, Array, Object };
    Kind kind = Kind::Undefined;
    bool flag = false;
    qint64 integer = 0; // a whole number within 64 bits, as QJsonValue keeps it
    double number = 0;
    QString text;

    bool isUndefined() const { return kind == Kind::Undefined; }
    bool isNull() const { return kind == Kind::Null; }
    bool isBool() const { return kind == Kind::Bool; }
    bool isDouble() const { return kind == Kind::Integer || kind == Kind::Double; }
    bool isString() const { return kind == Kind::String; }
    bool isArray() const { return kind == Kind::Array; }
    bool toBool() const { return flag; }
    double toDouble() const {
        return kind == Kind::Integer ? double(integer) : kind == Kind::Double ? number : 0;
    }
    QString toString() const { return kind == Kind::String ? text : QString(); }
    QVariant toVariant() const;
};

struct Field {
    QString name;
    Value value;
    Value first, second; // of an array value: its first two items (undefined when missing)
};

// The fields of `text`; none for a text that is not a JSON object.
std::vector<Field> Read(const QString &text);

} // namespace JournalFields
