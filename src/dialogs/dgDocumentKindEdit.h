#pragma once

#include "dialogs/dgBaseEdit.h"
#include "dialogs/dgCommon.h"

class DBEdit;

// One kind of incoming document: its one-character code (the key, typed by the user) and its name.
class TDocumentKindEditDG : public TBaseEditDG, public SingleDialog<TDocumentKindEditDG> {
    Q_OBJECT
public:
    TDocumentKindEditDG(); // made by Instance()
    // Edits the kind with code `Kind`, or starts a new kind when no kind has that code (the empty
    // code). The kind's code as stored when saved, none when not.
    static std::optional<QString> Run(const QString &Kind);

    DBEdit *edCode; // "Код (символ)": ID
    DBEdit *edName; // "Название": Name
};
