#pragma once

#include "dialogs/dgBaseEdit.h"
#include "dialogs/dgCommon.h"

class DBDateEdit;
class DBEdit;
class DBLookupCombo;
class QLineEdit;
class QPushButton;

// What a saved element dialog hands back: the element's key and its model (-1: none).
struct SavedElement {
    int element = -1;
    int model = -1;
};

// One element of a device's complete set: its kind and model, the producer's and the seller's
// data, the IT department's number supplement, the installation date and the incoming document
// with the position and price. The kind and model boxes follow each other: the model box offers
// the models of the kind shown, and choosing a model through the model list or the model find
// brings the kind box to that model's kind.
class TCompleteSetEditDG : public TBaseEditDG, public SingleDialog<TCompleteSetEditDG> {
    Q_OBJECT
public:
    TCompleteSetEditDG(); // made by Instance()
    // Edits element `CompSet`, or creates one on device `Device` when no element has that key (-1).
    // The kind box offers the kinds of type `KindType` ("H", "M" or "S"). The element as stored
    // when saved (its key and model), none when not.
    static std::optional<SavedElement> Run(int CompSet, int Device, const QString &KindType);

    DBLookupCombo *lcKind;    // "Тип": ModelKind
    QPushButton *sbKind;      // "Справочник типов"
    DBLookupCombo *lcModel;   // CmplIdModel among the kind's models
    QPushButton *sbModel;     // "Справочник моделей": the model list
    QPushButton *sbFindModel; // "Справочник моделей": the model find
    QLineEdit *edModelNote;   // the chosen model's parameters, read-only
    DBEdit *edNumberManufact; // "Серийный номер": NumberManufact
    DBDateEdit *edDateMan;    // "Изготовлено": DateManufact
    QLineEdit *edDateManText; // the manufacture month and year, read-only
    DBEdit *edNumberSeller;   // "Номер": NumberSeller
    DBEdit *edWarranty;       // "Гарантия" ... "месяцев": Warranty
    DBEdit *edNumberDIT;      // "Дополнение номера от ОИТ": CmplNumber
    DBDateEdit *edDataSet;    // "Установлено": CmplDateSet
    DBLookupCombo *lcDoc;     // DocumentId among the documents
    QPushButton *sbDoc;       // "Справочник документов"
    QPushButton *btClear;     // "Очистка.": no document, no position
    DBEdit *dbeSpecPos;       // "Поз. №": DocumentPosition
    DBEdit *dbeSpecPrice;     // "Цена": Price

    void sbKindClick();
    void sbModelClick();
    void sbFindModelClick();
    void sbDocClick();
    void btClearClick();

protected:
    // The element and the line of its move history for the place it is saved at, in one
    // transaction; a failure stores neither and leaves the record as typed, still being edited, so
    // that the next "Записать" tries both again.
    void postData() override;

private:
    // The model box offers the models of the kind shown; the parameters box follows the model.
    void kindChanged();
    void showModelNote();
    void showDateText();
    // Makes the kind box offer the kinds of `type` unless it does already.
    void offerKindsOf(const QString &type);

    QString m_type;           // the type letter of the kinds offered
    bool m_followKind = true; // the kind box's change reaction is attached
    int m_shownKind = -2;     // the kind the model list was last loaded for
};
