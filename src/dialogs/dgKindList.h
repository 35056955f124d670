#pragma once

#include "dialogs/dgBaseList.h"
#include "dialogs/dgCommon.h"

class AppError;
class QComboBox;

// The kinds of one type in their manual order, chosen with the type selector above the grid. Kinds
// are added, changed, found, moved up and down, and deleted while no model or device uses them;
// "Выбрать" writes the current kind's key into the calling dialog's field.
class TKindListDG : public TBASEListDG, public SingleDialog<TKindListDG> {
    Q_OBJECT
public:
    TKindListDG(); // made by Instance()
    // Shows the list on kind `ID` (-1: the kind that was current when the list was last closed),
    // under that kind's type (the device kinds when no such kind exists). `Back` is the field that
    // "Выбрать" fills, or none. `Kind` is the caller's type letter; the list always shows the type of
    // the kind itself, so it is not used. True when "Выбрать" ended the dialog.
    static bool Run(int ID, Field *Back = nullptr, const QString &Kind = QString());

    QComboBox *cbType;   // the type shown: "D: Устройства" ... "S: Программы"
    QPushButton *btUp;   // moves the current kind one place up
    QPushButton *btDown; // moves the current kind one place down
    DataSet *taKind;     // the kinds of the selected type in their order
    DataSet *spMoveKind; // MoveKind;1

    // Reopens the list for the selected type and makes kind `ID` current (-1: the kind current
    // now); the first row stays current when the kind is not in the list. Busy cursor meanwhile.
    void Reload(int ID);
    // Selects the type entry of the letter without reloading the list (no entry for another letter).
    void SelectType(const QString &letter);
    // The letter of the selected type, empty when none is selected.
    QString TypeLetter() const;

private:
    void btFindClick();
    void MoveKind(int direction);
    // After the kind or find dialog: show the kind under its (maybe new) type.
    void showSaved(const KindChoice &kind);
    void deleteRefused(int id, const QString &name, const AppError &error);

    bool m_selecting = false; // the type is being selected here, not by the user
};
