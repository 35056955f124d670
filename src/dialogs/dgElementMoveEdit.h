#pragma once

#include "dialogs/dgBaseEdit.h"
#include "dialogs/dgCommon.h"

class DBLookupCombo;
class QPushButton;

// Posts an element record together with its move-history line, in one transaction: either both are
// stored or neither is. `historyFirst` records the place the element leaves (a move, before its new
// device is posted); otherwise the place it is saved at is recorded after the post (a new or
// changed element). Errors reach the caller with nothing stored and the record still in its edit
// or insert with the values as they were, so that a second save retries both.
void PostElementWithHistory(DataSet &element, bool historyFirst);

// Moves one element to another device: the devices of the department where it stands are offered,
// and the device find dialog reaches any other. Saving records the place the element leaves in its
// move history and the new device, together.
class TElementMoveEditDG : public TBaseEditDG, public SingleDialog<TElementMoveEditDG> {
    Q_OBJECT
public:
    TElementMoveEditDG(); // made by Instance()
    // Moves element `CompSet`; with `Device` given the move to that device is prepared and waits for
    // the user's "Записать". True when saved.
    static bool Run(int CompSet, int Device = -1);

    DBLookupCombo *lcDevice; // "Устройство": CmplIdDevice
    QPushButton *btFind;     // "Поиск": the device find dialog

    void btFindClick();

protected:
    // The history line and the new device in one transaction; a failure leaves both as they were
    // and the new device chosen, with the message shown.
    void postData() override;
};
