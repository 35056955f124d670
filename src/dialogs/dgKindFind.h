#pragma once

#include "dialogs/dgBaseFind.h"
#include "dialogs/dgCommon.h"

// Finds a kind by its name or short name among the kinds of all four types. Every found row also
// carries the kind's type letter (KindType), so that a caller can show the kind under its type.
class TKindFindDG : public TBASEFindDG, public SingleDialog<TKindFindDG> {
    Q_OBJECT
public:
    TKindFindDG(); // made by Instance()
    // Shows the dialog; on "Выбрать" the chosen kind's key goes into `Field` (when given). The chosen
    // kind and its type letter, none when nothing was chosen.
    static std::optional<KindChoice> Run(Field *Field);
};
