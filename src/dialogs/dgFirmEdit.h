#pragma once

#include "dialogs/dgBaseEdit.h"
#include "dialogs/dgCommon.h"

class DBEdit;
class DBLookupCombo;
class QPushButton;

// The short name a firm is saved with while it has none of its own or carries a trademark.
extern const QString FirmShortNamePlaceholder;

// The short-name rule every firm record obeys before it is posted: the placeholder replaces an
// empty short name, and also any short name of a firm that carries a trademark.
void ApplyFirmShortName(DataSet &firm);

// One firm (a supplier or a producer): its trademark, its full name and, read-only, how many
// documents and models name it.
class TFirmEditDG : public TBaseEditDG, public SingleDialog<TFirmEditDG> {
    Q_OBJECT
public:
    TFirmEditDG(); // made by Instance()
    // Edits firm `Firm`, or starts a new firm when no firm has that key (-1). The firm's key when
    // saved (a new firm's new key), none when not.
    static std::optional<int> Run(int Firm);

    DBLookupCombo *cbTrade; // "Торговая марка": Trademark among the trademarks
    QPushButton *sbModel;   // the trademark list; "Выбрать" there fills Trademark
    DBEdit *edName;         // "Полное наименование": ClntNameFull
    QPushButton *btQuotes;  // "Кавычки": the selected part of the name in guillemets
    DBEdit *edCountDoc;     // "Количество документов (поставщик)", read-only
    DBEdit *edCountModel;   // "Количество моделей (производитель)", read-only

    void sbModelClick();
    // Puts the selected part of the name into guillemets, then stores the whole text of the box.
    void btQuotesClick();
};
