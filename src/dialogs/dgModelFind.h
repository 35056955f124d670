#pragma once

#include "dgBaseFind.h"
#include "dgCommon.h"

// Finds a model by its name, parameters or producer among the models of every kind. Every found
// row also carries the model's kind (Kind) and that kind's type letter (KindType).
class TModelFindDG : public TBASEFindDG, public SingleDialog<TModelFindDG> {
    Q_OBJECT
public:
    TModelFindDG(); // made by Instance()
    // Shows the dialog; on "Выбрать" the chosen model's key goes into `Field` (when given). True
    // when a model was chosen; taFind's current row is then that model.
    static bool Run(Field *Field);
};
