#include "data/Errors.h"
#include "data/TessalString.h"

#include <algorithm>

#include <gtest/gtest.h>

#include <QSet>

namespace {

std::string s(const QString &text) {
    return text.toStdString();
}

} // namespace

TEST(TessalString, ReplaceCharsKeepsLength) {
    EXPECT_EQ(s(ReplaceChars(QStringLiteral("a-b_c/d"), QStringLiteral("-_/"), u' ')), "a b c d");
    EXPECT_EQ(s(ReplaceChars(QStringLiteral("Склад №1"), QStringLiteral("№"), u'N')), "Склад N1");
    EXPECT_EQ(s(ReplaceChars(QStringLiteral("abc"), QString(), u'x')), "abc");
}

TEST(TessalString, DropLeftAndRight) {
    struct Case {
        const char *text;
        int n;
        const char *left;
        const char *right;
    };
    const Case cases[] = {
        {"Склад", 0, "Склад", "Склад"},
        {"Склад", 2, "лад", "Скл"},
        {"Склад", 4, "д", "С"},
        {"Склад", 5, "", ""},
        {"Склад", 9, "", ""},
        {"Склад", -1, "Склад", "Склад"},
        {"", 1, "", ""},
    };
    for (const Case &c : cases) {
        const QString text = QString::fromUtf8(c.text);
        SCOPED_TRACE(std::string(c.text) + " n=" + std::to_string(c.n));
        EXPECT_EQ(s(DropLeft(text, c.n)), c.left);
        EXPECT_EQ(s(DropRight(text, c.n)), c.right);
    }
}

TEST(TessalString, QuoteName) {
    const std::pair<QString, const char *> cases[] = {
        {QStringLiteral("ООО «Ромашка»"), "«ООО  Ромашка»"},
        {QStringLiteral("ООО \"Ромашка\""), "«ООО  Ромашка»"},
        {QStringLiteral("ООО „Ромашка“"), "«ООО  Ромашка»"},
        {QStringLiteral("‘Альфа’ и ”Бета”"), "«Альфа  и  Бета»"},
        {QStringLiteral("'Альфа'"), "«Альфа»"},
        {QStringLiteral("«Альфа»"), "«Альфа»"},
        {QStringLiteral("Д'Артаньян"), "«Д'Артаньян»"},   // inner apostrophe stays
        {QStringLiteral("''Альфа''"), "«'Альфа'»"},       // only one apostrophe at each end
        {QStringLiteral("\t Альфа \r\n"), "«Альфа»"},     // control characters trimmed
        {QStringLiteral("Альфа\u00A0"), "«Альфа\u00A0»"}, // a no-break space is not a blank
        {QString(), "«»"},
        {QStringLiteral("\"\""), "«»"},
    };
    for (const auto &[text, expected] : cases) {
        SCOPED_TRACE(s(text));
        EXPECT_EQ(s(QuoteName(text)), expected);
    }
}

TEST(TessalString, GeneratePasswordAlphabets) {
    struct Case {
        int count;
        int kind;
        int expectedLength;
        QString alphabet;
    };
    const QString digits = QStringLiteral("23456789");
    const QString capitals = QStringLiteral("ABCDEFGHJKLMNPRSTUVXY"); // A–Y without I, O, Q, W
    const QString capitalsZ = capitals + u'Z';
    const QString smalls = QStringLiteral("abcdefghkmnprstuvwxyz"); // without i, j, l, o, q
    const QString smallsNoZ = QStringLiteral("abcdefghkmnprstuvwxy");
    const Case cases[] = {
        {4, 3, 4, digits},
        {8, 3, 4, digits},
        {1, 3, 4, digits}, // kind 3: always four
        {8, 0, 8, digits + capitals},
        {29, 0, 29, digits + capitals},
        {10, 1, 10, smalls},
        {21, 1, 21, smalls},
        {12, 2, 12, digits + capitalsZ + smallsNoZ},
        {50, 2, 50, digits + capitalsZ + smallsNoZ},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("count=" + std::to_string(c.count) + " kind=" + std::to_string(c.kind));
        // The draw is random: repeat it so that a stray character would show up.
        QSet<QChar> seen;
        for (int round = 0; round < 200; ++round) {
            const QString password = GeneratePassword(c.count, c.kind);
            ASSERT_EQ(password.size(), c.expectedLength) << s(password);
            for (const QChar ch : password) {
                ASSERT_TRUE(c.alphabet.contains(ch)) << s(password);
                ASSERT_EQ(password.count(ch), 1) << s(password);
                seen.insert(ch);
            }
        }
        // Every usable character turns up sooner or later.
        EXPECT_EQ(seen.size(), c.alphabet.size());
    }
}

TEST(TessalString, GeneratePasswordRefusesImpossibleRequests) {
    EXPECT_TRUE(GeneratePassword(0, 0).isEmpty());
    EXPECT_THROW(GeneratePassword(30, 0), AppError);
    EXPECT_THROW(GeneratePassword(22, 1), AppError);
    EXPECT_THROW(GeneratePassword(51, 2), AppError);
    EXPECT_THROW(GeneratePassword(4, 4), AppError);
    EXPECT_THROW(GeneratePassword(4, -1), AppError);
}

TEST(TessalString, ObjectKeys) {
    EXPECT_EQ(s(MakeKey(QStringLiteral("D"), 3)), "D3");
    EXPECT_EQ(s(MakeKey(QStringLiteral("W"), 15)), "W15");
    EXPECT_EQ(s(KeyKind(QStringLiteral("W15"))), "W");
    EXPECT_EQ(KeyId(QStringLiteral("W15")), 15);
    EXPECT_EQ(KeyId(MakeKey(QStringLiteral("R"), -7)), -7);
    EXPECT_EQ(KeyKind(QString()), QString());

    for (const char *bad : {"", "W", "W1x", "W 15", "Wx", "W+", "W99999999999", "W1.5"}) {
        SCOPED_TRACE(bad);
        try {
            KeyId(QString::fromUtf8(bad));
            ADD_FAILURE() << "no error";
        } catch (const AppError &e) {
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(bad))) << s(e.message());
        }
    }
}

TEST(TessalString, FormatText) {
    const QChar nbsp(0x00A0);
    const QString rub = nbsp + QStringLiteral("₽");
    EXPECT_EQ(FormatText(QStringLiteral("Удалить «%s»?"), {TypedValue::Text(QStringLiteral("Склад 1"))}),
              QStringLiteral("Удалить «Склад 1»?"));
    EXPECT_EQ(FormatText(QStringLiteral("%s: %d шт. по %m, скидка 5%%"),
                         {TypedValue::Text(QStringLiteral("Бумага")), TypedValue::Int(12),
                          TypedValue::Currency(QStringLiteral("1234.5"))}),
              QStringLiteral("Бумага: 12 шт. по 1") + nbsp + QStringLiteral("234,50") + rub +
                  QStringLiteral(", скидка 5%"));

    // Money is exact and rounded half away from zero to kopecks.
    const std::pair<QVariant, QString> amounts[] = {
        {QStringLiteral("0"), QStringLiteral("0,00") + rub},
        {QStringLiteral("0.0049"), QStringLiteral("0,00") + rub},
        {QStringLiteral("0.005"), QStringLiteral("0,01") + rub},
        {QStringLiteral("-1234567.125"),
         QStringLiteral("-1") + nbsp + QStringLiteral("234") + nbsp + QStringLiteral("567,13") + rub},
        {QVariant(7), QStringLiteral("7,00") + rub},
        {QVariant(2.5), QStringLiteral("2,50") + rub},
    };
    for (const auto &[value, expected] : amounts) {
        SCOPED_TRACE(s(value.toString()));
        EXPECT_EQ(FormatText(QStringLiteral("%m"), {TypedValue::Variant(value)}), expected);
    }

    EXPECT_EQ(FormatText(QStringLiteral("%d|%d|%s"),
                         {TypedValue::Variant(qint64(-5)), TypedValue::Variant(QStringLiteral("42")),
                          TypedValue::Variant(QVariant())}),
              QStringLiteral("-5|42|"));
    EXPECT_EQ(FormatText(QStringLiteral("без подстановок"), {TypedValue::Int(1)}),
              QStringLiteral("без подстановок"));
}

TEST(TessalString, FormatTextErrors) {
    const std::pair<const char *, QList<TypedValue>> cases[] = {
        {"%s и %s", {TypedValue::Text(QStringLiteral("один"))}},  // too few values
        {"%x", {TypedValue::Int(1)}},                             // unknown placeholder
        {"100%", {}},                                             // lone percent sign
        {"%d", {TypedValue::Text(QStringLiteral("двенадцать"))}}, // not an integer
        {"%d", {TypedValue::Float(1.5)}},
        {"%d", {TypedValue::Variant(QVariant())}},
        {"%m", {TypedValue::Text(QStringLiteral("много"))}},
        {"%m", {TypedValue::Bool(true)}},
    };
    for (const auto &[format, values] : cases) {
        SCOPED_TRACE(format);
        EXPECT_THROW(FormatText(QString::fromUtf8(format), values), AppError);
    }
}

TEST(TessalString, FoldingAndOrderOfNames) {
    const struct {
        const char *text, *folded;
    } cases[] = {
        {"ЁЖИК ёжик", "ежик ежик"},
        {"Склад-1 ABC", "склад-1 abc"},
        {"ЂЃЄЅІЇЈЉЊЋЌЍЎЏ", "ђѓєѕіїјљњћќѝўџ"},
        {"Straße ΣΑΣ", "straße ΣΑΣ"}, // other alphabets stay as they are, in SQL as here
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FoldText(QString::fromUtf8(c.text)), QString::fromUtf8(c.folded)) << c.text;

    QStringList names{"яблоко", "Ёлка", "ель", "Арбуз", "banana", "Apple", "ежевика", "Ель", "10", "9"};
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return CompareText(a, b) < 0; });
    EXPECT_EQ(names, (QStringList{"10", "9", "Apple", "banana", "Арбуз", "ежевика", "Ёлка", "Ель", "ель",
                                  "яблоко"}));
    EXPECT_TRUE(ContainsText(QStringLiteral("Ёжик-принтер"), QStringLiteral("ЕЖИК")));
    EXPECT_FALSE(ContainsText(QStringLiteral("Ёжик"), QStringLiteral("ежи к")));
}
