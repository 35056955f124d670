#pragma once

// What the code printed on a device's label holds, and how a scanned code is read back.
//
// A label's code is the device's inventory number exactly as the label prints it (the stored
// number without the blanks around it), so any scanner reads it back as that text. A device
// without an inventory number gets its object key instead, "V" and the device's key ("V15").
//
// A scanned code names the device whose inventory number equals it; a code of the form V<key>
// names device <key> when no device carries that text as its number and that device has no
// inventory number of its own.
//
// An element's label (one with a serial number) holds the element's serial number, as printed,
// in the same way: MakeLabelCode's rule without the key, ParseLabelCode's `number` to look for.

#include <QString>

// The code of a device's label from its inventory number and key.
QString MakeLabelCode(const QString &inventoryNumber, int deviceKey);

// A scanned or typed code read back.
struct LabelCodeParts {
    QString number;    // the code without the blanks around it: the inventory number to look for
    int deviceKey = 0; // the device key when the code has the form V<key> (also "v"), else 0
};
LabelCodeParts ParseLabelCode(const QString &code);
