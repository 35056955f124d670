#pragma once

#include <QString>

// What a device's label code holds, and how a scanned code is read back: the inventory number as
// printed on the label, or, for a device without one, "V" followed by the device's key.

// The text of a device's code: its inventory number trimmed, or "V<key>" when it has none.
QString DeviceLabelCode(const QString &inventoryNumber, qint64 deviceKey);

// The device key of a "V<key>" code (a small "v" too, blanks around it ignored); 0 for any
// other text.
qint64 DeviceKeyOfLabelCode(const QString &code);
