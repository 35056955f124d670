#pragma once

#include "dgBaseEdit.h"

#include <QPointer>

class DBLookupCombo;
class QPushButton;

// Posts an element record together with its move-history line, in one transaction: either both are
// stored or neither is. `historyFirst` records the place the element leaves (a move, before its new
// device is posted); otherwise the place it is saved at is recorded after the post (a new or
// changed element). Errors reach the caller with nothing stored.
void PostElementWithHistory(DataSet &element, bool historyFirst);

// Moves one element to another device: the devices of the department where it stands are offered,
// and the device find dialog reaches any other. Saving records the place the element leaves in its
// move history and the new device, together.
class TElementMoveEditDG : public TBaseEditDG {
    Q_OBJECT
public:
    // Moves element `CompSet`; with `Device` given the move to that device is prepared and waits for
    // the user's "Записать". True when saved.
    static bool Run(int CompSet, int Device = -1);
    static TElementMoveEditDG *Instance();
    static void ResetForTesting();

    DBLookupCombo *lcDevice; // "Устройство": CmplIdDevice
    QPushButton *btFind;     // "Поиск": the device find dialog

    // The history line and the new device in one transaction; a failure leaves both as they were
    // and ends the dialog as not saved, with the message shown.
    void btSaveClick() override;
    void btFindClick();

private:
    TElementMoveEditDG();
    static QPointer<TElementMoveEditDG> s_instance;
};
