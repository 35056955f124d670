#pragma once

#include "dialogs/dgBaseFind.h"
#include "dialogs/dgCommon.h"

// Finds a device by its name or its workplace, for the element dialogs. Choosing a device also
// loads the shared device list with the devices of its department, so that a device selector bound
// to that list can show the device just chosen.
class TDeviceFindDG : public TBASEFindDG, public SingleDialog<TDeviceFindDG> {
    Q_OBJECT
public:
    TDeviceFindDG(); // made by Instance()
    // Shows the dialog; "Выбрать" writes the chosen device's key into `Field` (when given). True
    // when a device was chosen.
    static bool Run(Field *Field);

protected:
    void btBackClick() override;
};
