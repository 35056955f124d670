#include "model/LabelCode.h"

#include <gtest/gtest.h>

TEST(LabelCode, MadeFromNumberOrKey) {
    struct Case {
        const char *number;
        int key;
        const char *code;
    } cases[] = {
        {"00123", 7, "00123"},          // leading zeros are part of the number
        {"  ИНВ-12/3 ", 7, "ИНВ-12/3"}, // printed and encoded without the blanks around it
        {"", 42, "V42"},
        {"   ", 42, "V42"}, // a blank number is no number
        {"V9", 42, "V9"},   // a number that looks like a key stays the number
    };
    for (const Case &c : cases)
        EXPECT_EQ(MakeLabelCode(QString::fromUtf8(c.number), c.key), QString::fromUtf8(c.code)) << c.number;
}

TEST(LabelCode, ParsedBack) {
    struct Case {
        const char *code;
        const char *number;
        int key;
    } cases[] = {
        {"V42", "V42", 42},
        {" v42\r", "v42", 42},
        {"00123", "00123", 0},
        {"V", "V", 0},
        {"V042", "V042", 0},
        {"V-4", "V-4", 0},
        {"V4a", "V4a", 0},
        {"W42", "W42", 0},
        {"V2147483647", "V2147483647", 2147483647},
        {"V2147483648", "V2147483648", 0},
        {"V99999999999", "V99999999999", 0},
        {"V４２", "V４２", 0}, // full-width digits are not a key
    };
    for (const Case &c : cases) {
        const LabelCodeParts p = ParseLabelCode(QString::fromUtf8(c.code));
        EXPECT_EQ(p.number, QString::fromUtf8(c.number)) << c.code;
        EXPECT_EQ(p.deviceKey, c.key) << c.code;
    }
    for (const int key : {1, 15, 100000})
        EXPECT_EQ(ParseLabelCode(MakeLabelCode(QString(), key)).deviceKey, key);
}
