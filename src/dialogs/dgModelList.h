#pragma once

#include "dialogs/dgBaseList.h"
#include "dialogs/dgCommon.h"

class DBLookupCombo;
class QComboBox;

// The models of one kind, in their manual order (moved up and down here) or by name. Models are
// added, changed and deleted here; "Выбрать" writes the current model's key into the calling
// dialog's field.
class TModelListDG : public TBASEListDG, public SingleDialog<TModelListDG> {
    Q_OBJECT
public:
    TModelListDG(); // made by Instance()
    enum TModelSort { msName, msWeight };

    // Shows model `Model` (-1: the model current when the list was last closed) among the models of
    // kind `Kind` (-1: of the model's own kind). `Back` is the field "Выбрать" fills, or none. The
    // ordering starts as the manual one. Tells whether "Выбрать" ended the dialog and which model
    // was current at the end.
    struct Outcome {
        bool chosen = false;
        int current = -1; // the model current in the list when it closed; -1: none
        explicit operator bool() const { return chosen; }
    };
    static Outcome Run(int Model, Field *Back = nullptr, int Kind = -1);

    QComboBox *lcKind;    // the kind shown, among the kinds of one type
    QPushButton *btKind;  // "Справочник типов"
    QPushButton *btUp;    // moves the current model one place up (manual order only)
    QPushButton *btDown;  // moves it one place down
    DataSet *taModel;     // the models of the selected kind
    DataSet *spMoveModel; // MoveModel;1

    TModelSort sort() const { return m_sort; }
    void setSort(TModelSort sort);
    // The key of the kind the selector shows, -1 when none.
    int selectedKind() const;
    // Shows the kinds of the type of `kind` in the selector and selects `kind`, without reloading.
    void selectKind(int kind);
    // Reopens the list for the selected kind and makes model `Model` current (negative: the one
    // current now); the first row stays current when it is not in the list. Busy cursor.
    void Reload(int Model);
    // Shows model `Model` under its own kind.
    void showModel(int Model);

protected:
    void dsListStateChange() override;

private:
    void btKindClick();
    void titleClicked(int column);
    void MoveModel(int direction);
    void fillKinds();
    // The type of `kind` as the shared kind lookup holds it; empty when it does not hold the kind.
    QString lookupTypeOf(int kind) const;

    TModelSort m_sort = msName;
    bool m_selecting = false;
};
