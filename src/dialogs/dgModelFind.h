#pragma once

#include "dialogs/dgBaseFind.h"
#include "dialogs/dgCommon.h"

// Finds a model by its name, parameters or producer among the models of every kind. Every found
// row also carries the model's kind (Kind) and that kind's type letter (KindType).
class TModelFindDG : public TBASEFindDG, public SingleDialog<TModelFindDG> {
    Q_OBJECT
public:
    TModelFindDG(); // made by Instance()
    // Shows the dialog; on "Выбрать" the chosen model's key goes into `Field` (when given). The kind of
    // the chosen model and its type letter, none when nothing was chosen.
    static std::optional<KindChoice> Run(Field *Field);
};
