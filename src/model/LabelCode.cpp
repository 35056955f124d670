#include "model/LabelCode.h"

QString MakeLabelCode(const QString &inventoryNumber, int deviceKey) {
    const QString number = inventoryNumber.trimmed();
    return number.isEmpty() ? QStringLiteral("V%1").arg(deviceKey) : number;
}

LabelCodeParts ParseLabelCode(const QString &code) {
    LabelCodeParts parts;
    parts.number = code.trimmed();
    const QString &t = parts.number;
    // Only plain digits after the letter, no sign, no leading zero, and within an int: "V015"
    // or "V+15" is no key the program ever printed, so it stays an inventory number.
    if (t.size() < 2 || t.size() > 11 || (t[0] != u'V' && t[0] != u'v') || t[1] == u'0')
        return parts;
    qint64 key = 0;
    for (qsizetype i = 1; i < t.size(); ++i) {
        const char16_t c = t[i].unicode();
        if (c < u'0' || c > u'9')
            return parts;
        key = key * 10 + (c - u'0');
    }
    if (key <= 0x7fffffff)
        parts.deviceKey = int(key);
    return parts;
}
