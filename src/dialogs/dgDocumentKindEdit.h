#pragma once

#include "dgBaseEdit.h"

#include <QPointer>

class DBEdit;

// One kind of incoming document: its one-character code (the key, typed by the user) and its name.
class TDocumentKindEditDG : public TBaseEditDG {
    Q_OBJECT
public:
    // Edits the kind with code `Kind`, or starts a new kind when no kind has that code (the empty
    // code). True when saved; taData then holds the kind as stored.
    static bool Run(const QString &Kind);
    static TDocumentKindEditDG *Instance();
    static void ResetForTesting();

    DBEdit *edCode; // "Код (символ)": ID
    DBEdit *edName; // "Название": Name

    // A kind needs a code: without one a message says so and the dialog stays open.
    void btSaveClick() override;

private:
    TDocumentKindEditDG();
    static QPointer<TDocumentKindEditDG> s_instance;
};
