#pragma once

#include "dialogs/dgBaseEdit.h"
#include "dialogs/dgCommon.h"

#include <QStringList>

class DBEdit;
class QComboBox;

// The four type letters of kinds as the type selectors of both kind dialogs list them: an entry's
// letter is its first character, and the entries stand in the order of the letters in "DHMS".
namespace KindTypes {
// "D: Устройства", "H: Комплектующие", "M: Материалы", "S: Программы".
const QStringList &entries();
// The entry of a letter (its first character counts), -1 for any other letter and for none.
int indexOf(const QString &letter);
// Fills a selector with the four entries; no entry is selected afterwards.
void fill(QComboBox *box);
// Selects the entry of the letter (no entry for any other letter).
void select(QComboBox *box, const QString &letter);
// The letter of the selected entry: the first character of the selector's text, empty when none.
QString letterOf(const QComboBox *box);
} // namespace KindTypes

// One kind: its type, name and short name. A new kind starts with the type it is added under; the
// user may move it to another type here, and the new letter is what is stored.
class TKindEditDG : public TBaseEditDG, public SingleDialog<TKindEditDG> {
    Q_OBJECT
public:
    TKindEditDG(); // made by Instance()
    // Edits kind `ID`, or starts a new kind of type `Kind` when no kind has that key (-1). The kind as
    // stored when saved (its key and its maybe changed type), none when not.
    static std::optional<KindChoice> Run(int ID, const QString &Kind);

    QComboBox *cbType; // "Вид": the four types, bound to KindType
    DBEdit *DBEdit1;   // "Наименование": KindName
    DBEdit *DBEdit2;   // "Кратко": ShortName
};
