#include "model/LabelCode.h"

QString DeviceLabelCode(const QString &inventoryNumber, qint64 deviceKey) {
    const QString number = inventoryNumber.trimmed();
    return number.isEmpty() ? QStringLiteral("V%1").arg(deviceKey) : number;
}

qint64 DeviceKeyOfLabelCode(const QString &code) {
    const QString t = code.trimmed();
    if (t.size() < 2 || t.size() > 11 || (t[0] != u'V' && t[0] != u'v'))
        return 0;
    for (qsizetype i = 1; i < t.size(); ++i)
        if (t[i] < u'0' || t[i] > u'9')
            return 0;
    bool ok = false;
    const qint64 key = t.mid(1).toLongLong(&ok);
    return ok && key > 0 && key <= 2147483647 ? key : 0;
}
