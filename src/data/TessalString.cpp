#include "data/TessalString.h"

#include "data/Errors.h"
#include "data/SchemaInfo.h"

#include <QLocale>
#include <QRandomGenerator>

#include <algorithm>
#include <limits>

QString ReplaceChars(const QString &text, const QString &set, QChar replacement) {
    QString result = text;
    for (QChar &c : result) {
        if (set.contains(c))
            c = replacement;
    }
    return result;
}

QString DropLeft(const QString &text, int n) {
    if (n <= 0)
        return text;
    if (n >= text.size())
        return QString();
    return text.mid(n);
}

QString DropRight(const QString &text, int n) {
    if (n <= 0)
        return text;
    if (n >= text.size())
        return QString();
    return text.left(text.size() - n);
}

namespace {

// Blanks and control characters, the characters trimmed from the ends of a name. Unlike
// QString::trimmed this leaves a no-break space alone.
bool isBlankOrControl(QChar c) {
    return c.unicode() <= 0x20;
}

} // namespace

QString QuoteName(const QString &text) {
    static const QString quotes = QStringLiteral("\u0022\u2018\u2019\u201E\u201C\u201D\u00AB\u00BB");

    QString s = text;
    if (s.startsWith(u'\''))
        s.remove(0, 1);
    if (s.endsWith(u'\''))
        s.chop(1);
    s = ReplaceChars(s, quotes, u' ');

    qsizetype first = 0;
    qsizetype last = s.size();
    while (first < last && isBlankOrControl(s[first]))
        ++first;
    while (last > first && isBlankOrControl(s[last - 1]))
        --last;
    return u'«' + s.mid(first, last - first) + u'»';
}

namespace {

struct PasswordKind {
    char16_t low;
    char16_t high;
    int usable;
};

// Range of character codes drawn from, and how many of them survive the exclusions.
constexpr PasswordKind passwordKinds[] = {
    {u'2', u'Y', 29},
    {u'a', u'z', 21},
    {u'2', u'y', 50},
    {u'2', u'9', 8},
};

// Characters never used in a password: punctuation between the digit, capital and small letter
// ranges, and the ones that are easily mistaken for each other.
const QString &excludedPasswordChars() {
    static const QString chars = QStringLiteral(":;<=>?@0QWIO[\\]^`_ijloq");
    return chars;
}

} // namespace

QString GeneratePassword(int count, int kind) {
    if (kind < 0 || kind > 3)
        throw AppError(QStringLiteral("Неизвестный вид пароля (%1)").arg(kind));
    const PasswordKind &k = passwordKinds[kind];
    if (kind == 3)
        count = 4;
    if (count > k.usable)
        throw AppError(QStringLiteral("Пароль вида %1 не может содержать больше %2 разных символов")
                           .arg(kind)
                           .arg(k.usable));

    QRandomGenerator *random = QRandomGenerator::global();
    QString result;
    result.reserve(qMax(count, 0));
    for (int i = 0; i < count; ++i) {
        QChar c;
        do {
            c = QChar(char16_t(random->bounded(int(k.low), int(k.high) + 1)));
        } while (excludedPasswordChars().contains(c) || result.contains(c));
        result += c;
    }
    return result;
}

QString FoldText(QStringView text) {
    QString s(text.size(), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(s.data());
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = FoldUnit(text[i].unicode());
    return s;
}

int CompareText(QStringView a, QStringView b, qsizetype from) {
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = from; i < n; ++i) {
        const char16_t x = a[i].unicode(), y = b[i].unicode();
        if (x != y)
            if (const int d = int(FoldUnit(x)) - int(FoldUnit(y)))
                return d;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

bool ContainsText(QStringView text, QStringView what) {
    return FoldText(text).contains(FoldText(what));
}

QString JoinedText(const QStringList &parts, const QString &sep) {
    QStringList kept;
    for (const QString &p : parts)
        if (const QString t = p.trimmed(); !t.isEmpty())
            kept << t;
    return kept.join(sep);
}

QString MakeKey(const QString &kind, int id) {
    return kind + QString::number(id);
}

QString KeyKind(const QString &key) {
    return key.left(1);
}

namespace {

// A decimal integer with an optional sign and nothing else around it.
bool parseDecimal(QStringView text, qint64 *value) {
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        ++i;
    if (i == text.size())
        return false;
    for (qsizetype j = i; j < text.size(); ++j) {
        if (text[j] < u'0' || text[j] > u'9')
            return false;
    }
    bool ok = false;
    *value = text.toLongLong(&ok, 10);
    return ok;
}

} // namespace

int KeyId(const QString &key) {
    qint64 id = 0;
    if (!parseDecimal(QStringView(key).mid(qMin<qsizetype>(1, key.size())), &id) ||
        id < std::numeric_limits<int>::min() || id > std::numeric_limits<int>::max())
        throw AppError(QStringLiteral("Ключ объекта «%1» не оканчивается целым числом").arg(key));
    return int(id);
}

namespace {

AppError formatError(const QString &format, const QString &why) {
    return AppError(QStringLiteral("Формат «%1»: %2").arg(format, why));
}

bool integerOf(const QVariant &v, qint64 *result) {
    if (!v.isValid() || v.isNull())
        return false;
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::SChar:
    case QMetaType::UChar:
        *result = v.toLongLong();
        return true;
    case QMetaType::ULongLong: {
        const quint64 u = v.toULongLong();
        *result = qint64(u);
        return u <= quint64(std::numeric_limits<qint64>::max());
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = v.toDouble();
        if (!(d >= -9.0e18 && d <= 9.0e18) || d != double(qint64(d)))
            return false;
        *result = qint64(d);
        return true;
    }
    case QMetaType::QString:
    case QMetaType::QByteArray:
        return parseDecimal(v.toString().trimmed(), result);
    default:
        return false;
    }
}

// An exact amount (1 unit = 0.0001) in the Russian currency format, rounded half away from zero
// to kopecks: "-1 234,50 ₽".
QString formatMoney(qint64 units) {
    static const QLocale russian(QLocale::Russian, QLocale::Russia);
    const bool negative = units < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(units) : quint64(units);
    const quint64 kopecks = (magnitude + 50) / 100;
    QString text = russian.toString(qulonglong(kopecks / 100)) + russian.decimalPoint() +
                   QStringLiteral("%1").arg(kopecks % 100, 2, 10, QLatin1Char('0'));
    if (negative && kopecks != 0)
        text.prepend(russian.negativeSign());
    return text + QChar(0x00A0) + russian.currencySymbol();
}

} // namespace

QString FormatText(const QString &format, const QList<TypedValue> &values) {
    QString result;
    result.reserve(format.size());
    qsizetype next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c != u'%') {
            result += c;
            continue;
        }
        if (i + 1 >= format.size())
            throw formatError(format, QStringLiteral("знак % в конце строки"));
        const QChar placeholder = format[++i];
        if (placeholder == u'%') {
            result += u'%';
            continue;
        }
        if (placeholder != u's' && placeholder != u'd' && placeholder != u'm')
            throw formatError(format, QStringLiteral("неизвестная подстановка %%1").arg(placeholder));
        if (next >= values.size())
            throw formatError(format, QStringLiteral("не хватает значений для подстановок"));
        const TypedValue &tv = values[next++];

        if (placeholder == u's') {
            result += tv.value.toString();
        } else if (placeholder == u'd') {
            qint64 n = 0;
            if (!integerOf(tv.value, &n))
                throw formatError(format, QStringLiteral("значение %1 не целое число").arg(next));
            result += QString::number(n);
        } else {
            bool ok = false;
            const qint64 units = tv.value.isNull() ? 0 : Money::toUnits(tv.value, &ok);
            if (!ok)
                throw formatError(format, QStringLiteral("значение %1 не денежная сумма").arg(next));
            result += formatMoney(units);
        }
    }
    return result;
}
