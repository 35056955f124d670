#pragma once

#include "dgBaseFind.h"

#include <QPointer>

// Finds a device by its name or its workplace, for the element dialogs. Choosing a device also
// loads the shared device list with the devices of its department, so that a device selector bound
// to that list can show the device just chosen.
class TDeviceFindDG : public TBASEFindDG {
    Q_OBJECT
public:
    // Shows the dialog; "Выбрать" writes the chosen device's key into `Field` (when given). True
    // when a device was chosen.
    static bool Run(Field *Field);
    // The single instance, made on first use.
    static TDeviceFindDG *Instance();
    // Drops the single instance (the next use makes a new one over the then shared connection).
    static void ResetForTesting();

protected:
    void btBackClick() override;

private:
    TDeviceFindDG();
    static QPointer<TDeviceFindDG> s_instance;
};
