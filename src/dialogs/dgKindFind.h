#pragma once

#include "dgBaseFind.h"

#include <QPointer>

// Finds a kind by its name or short name among the kinds of all four types. Every found row also
// carries the kind's type letter (KindType), so that a caller can show the kind under its type.
class TKindFindDG : public TBASEFindDG {
    Q_OBJECT
public:
    // Shows the dialog; on "Выбрать" the chosen kind's key goes into `Field` (when given). True when
    // a kind was chosen; taFind's current row is then that kind (ID, Name, KindType).
    static bool Run(Field *Field);
    // The single instance, made on first use.
    static TKindFindDG *Instance();
    static void ResetForTesting();

private:
    TKindFindDG();
    static QPointer<TKindFindDG> s_instance;
};
