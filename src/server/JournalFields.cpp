#include "server/JournalFields.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>

namespace JournalFields {

QVariant Value::toVariant() const {
    switch (kind) {
    case Kind::Bool:
        return flag;
    case Kind::Integer:
        return qlonglong(integer);
    case Kind::Double:
        return number;
    case Kind::String:
        return text;
    case Kind::Null:
        return QVariant::fromValue(nullptr);
    default:
        return QVariant();
    }
}

namespace {

// The texts the triggers write, read directly: an object of scalars and arrays of scalars, with
// or without blanks, names in ASCII, each name once. Anything else (nesting, surrogates, control
// characters, odd numbers, repeated names) is left to QJsonDocument, which then decides.
class FastReader {
public:
    explicit FastReader(const QString &text)
        : m_p(reinterpret_cast<const char16_t *>(text.utf16())), m_end(m_p + text.size()) {}

    bool read(std::vector<Field> &out) {
        blanks();
        if (!take(u'{'))
            return false;
        blanks();
        if (!take(u'}')) {
            for (;;) {
                Field f;
                if (!string(f.name, true))
                    return false;
                blanks();
                if (!take(u':'))
                    return false;
                blanks();
                if (!value(f.value, &f))
                    return false;
                out.push_back(std::move(f));
                blanks();
                if (take(u'}'))
                    break;
                if (!take(u','))
                    return false;
                blanks();
            }
        }
        blanks();
        if (m_p != m_end)
            return false;
        // As a QJsonObject holds them: by name, in the order of their characters.
        std::sort(out.begin(), out.end(), [](const Field &a, const Field &b) { return a.name < b.name; });
        for (size_t i = 1; i < out.size(); ++i)
            if (out[i].name == out[i - 1].name)
                return false;
        return true;
    }

private:
    bool take(char16_t c) {
        if (m_p < m_end && *m_p == c) {
            ++m_p;
            return true;
        }
        return false;
    }

    void blanks() {
        while (m_p < m_end && (*m_p == u' ' || *m_p == u'\t' || *m_p == u'\n' || *m_p == u'\r'))
            ++m_p;
    }

    bool word(const char *w) {
        const char16_t *p = m_p;
        for (; *w; ++w, ++p)
            if (p >= m_end || *p != char16_t(*w))
                return false;
        m_p = p;
        return true;
    }

    static int hexDigit(char16_t c) {
        if (c >= u'0' && c <= u'9')
            return c - u'0';
        if (c >= u'a' && c <= u'f')
            return c - u'a' + 10;
        if (c >= u'A' && c <= u'F')
            return c - u'A' + 10;
        return -1;
    }

    bool string(QString &out, bool asciiOnly) {
        if (!take(u'"'))
            return false;
        for (;;) {
            const char16_t *run = m_p;
            while (m_p < m_end && *m_p != u'"' && *m_p != u'\\' && *m_p >= 0x20 &&
                   (*m_p < 0x80 || (!asciiOnly && (*m_p < 0xD800 || (*m_p >= 0xE000 && *m_p < 0xFDD0)))))
                ++m_p;
            out.append(reinterpret_cast<const QChar *>(run), m_p - run);
            if (m_p >= m_end)
                return false;
            if (*m_p == u'"') {
                ++m_p;
                return true;
            }
            if (*m_p != u'\\' || asciiOnly)
                return false;
            if (++m_p >= m_end)
                return false;
            switch (*m_p++) {
            case u'"':
                out.append(u'"');
                break;
            case u'\\':
                out.append(u'\\');
                break;
            case u'/':
                out.append(u'/');
                break;
            case u'b':
                out.append(u'\b');
                break;
            case u'f':
                out.append(u'\f');
                break;
            case u'n':
                out.append(u'\n');
                break;
            case u'r':
                out.append(u'\r');
                break;
            case u't':
                out.append(u'\t');
                break;
            case u'u': {
                if (m_end - m_p < 4)
                    return false;
                int code = 0;
                for (int i = 0; i < 4; ++i) {
                    const int d = hexDigit(*m_p++);
                    if (d < 0)
                        return false;
                    code = code * 16 + d;
                }
                if (code >= 0xD800 && code <= 0xDFFF)
                    return false;
                out.append(QChar(char16_t(code)));
                break;
            }
            default:
                return false;
            }
        }
    }

    // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)? as QJsonValue keeps it: a whole number within
    // 64 bits as an integer (minus zero as zero), anything else as a double.
    bool number(Value &v) {
        const char16_t *start = m_p;
        bool whole = true, nonZero = false;
        const auto digits = [&] {
            const char16_t *from = m_p;
            while (m_p < m_end && *m_p >= u'0' && *m_p <= u'9') {
                nonZero = nonZero || *m_p != u'0';
                ++m_p;
            }
            return m_p > from;
        };
        take(u'-');
        if (m_p < m_end && *m_p == u'0') {
            ++m_p;
        } else if (!digits()) {
            return false;
        }
        if (take(u'.')) {
            whole = false;
            if (!digits())
                return false;
        }
        if (m_p < m_end && (*m_p == u'e' || *m_p == u'E')) {
            whole = false;
            ++m_p;
            if (!take(u'+'))
                take(u'-');
            const bool mantissaNonZero = nonZero;
            if (!digits())
                return false;
            nonZero = mantissaNonZero;
        }
        char buffer[64];
        const qsizetype n = m_p - start;
        if (n >= qsizetype(sizeof buffer))
            return false;
        for (qsizetype i = 0; i < n; ++i)
            buffer[i] = char(start[i]);
        if (whole) {
            qint64 i = 0;
            const auto [end, ec] = std::from_chars(buffer, buffer + n, i);
            if (ec == std::errc() && end == buffer + n) {
                v.kind = Value::Kind::Integer;
                v.integer = i;
                return true;
            }
        }
        double d = 0;
        const auto [end, ec] = std::from_chars(buffer, buffer + n, d);
        if (ec != std::errc() || end != buffer + n || !std::isfinite(d) ||
            (d != 0 && std::abs(d) < DBL_MIN) || (d == 0 && nonZero))
            return false;
        if (d >= -9223372036854775808.0 && d < 9223372036854775808.0 && d == std::trunc(d)) {
            v.kind = Value::Kind::Integer;
            v.integer = qint64(d);
        } else {
            v.kind = Value::Kind::Double;
            v.number = d;
        }
        return true;
    }

    // A scalar, or at the top (`field` given) an array of scalars.
    bool value(Value &v, Field *field) {
        if (m_p >= m_end)
            return false;
        switch (*m_p) {
        case u'"':
            v.kind = Value::Kind::String;
            return string(v.text, false);
        case u't':
            v.kind = Value::Kind::Bool;
            v.flag = true;
            return word("true");
        case u'f':
            v.kind = Value::Kind::Bool;
            return word("false");
        case u'n':
            v.kind = Value::Kind::Null;
            return word("null");
        case u'[': {
            if (!field)
                return false;
            ++m_p;
            v.kind = Value::Kind::Array;
            blanks();
            if (take(u']'))
                return true;
            for (int i = 0;; ++i) {
                Value item;
                if (!value(item, nullptr))
                    return false;
                if (i == 0)
                    field->first = std::move(item);
                else if (i == 1)
                    field->second = std::move(item);
                blanks();
                if (take(u']'))
                    return true;
                if (!take(u','))
                    return false;
                blanks();
            }
        }
        default:
            return number(v);
        }
    }

    const char16_t *m_p, *m_end;
};

Value fromJson(const QJsonValue &j) {
    Value v;
    switch (j.type()) {
    case QJsonValue::Null:
        v.kind = Value::Kind::Null;
        break;
    case QJsonValue::Bool:
        v.kind = Value::Kind::Bool;
        v.flag = j.toBool();
        break;
    case QJsonValue::Double:
        if (j.toVariant().typeId() == QMetaType::LongLong) {
            v.kind = Value::Kind::Integer;
            v.integer = j.toInteger();
        } else {
            v.kind = Value::Kind::Double;
            v.number = j.toDouble();
        }
        break;
    case QJsonValue::String:
        v.kind = Value::Kind::String;
        v.text = j.toString();
        break;
    case QJsonValue::Array:
        v.kind = Value::Kind::Array;
        break;
    case QJsonValue::Object:
        v.kind = Value::Kind::Object;
        break;
    case QJsonValue::Undefined:
        break;
    }
    return v;
}

} // namespace

std::vector<Field> Read(const QString &text) {
    std::vector<Field> out;
    out.reserve(4);
    if (FastReader(text).read(out))
        return out;
    out.clear();
    const QJsonObject o = QJsonDocument::fromJson(text.toUtf8()).object();
    out.reserve(size_t(o.size()));
    for (auto j = o.constBegin(); j != o.constEnd(); ++j) {
        Field f;
        f.name = j.key();
        f.value = fromJson(j.value());
        if (f.value.isArray()) {
            const QJsonArray a = j.value().toArray();
            f.first = fromJson(a.at(0));
            f.second = fromJson(a.at(1));
        }
        out.push_back(std::move(f));
    }
    return out;
}

} // namespace JournalFields
