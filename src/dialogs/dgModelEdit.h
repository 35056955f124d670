#pragma once

#include "dialogs/dgBaseEdit.h"
#include "dialogs/dgCommon.h"

class DBCheckBox;
class DBEdit;
class DBLookupCombo;
class Connection;
class QPushButton;

// The firm a producer typed by name stands for: the firm of that full name or trademark (case
// aside), else a new firm of that name under the trademark of that name, which is made when no
// trademark has it. Runs in the caller's transaction.
int ProducerFirm(Connection &cn, const QString &name);

// One model: its kind, producer, number, whether its name is the number alone, its parameters and
// a note. The name the lists show is composed by the server at every save.
class TModelEditDG : public TBaseEditDG, public SingleDialog<TModelEditDG> {
    Q_OBJECT
public:
    TModelEditDG(); // made by Instance()
    // Edits model `ID`, or starts a new model of kind `KindID` when no model has that key (-1); the
    // kind selector offers the kinds of the type of `KindID`. The model's key when saved (a new
    // model's new key), none when not.
    static std::optional<int> Run(int ID, int KindID);

    DBLookupCombo *lcKind;   // "Тип": ModlKind
    QPushButton *btKind;     // "Справочник типов"
    DBLookupCombo *lcProd;   // "Производитель": ModlIdProducer
    QPushButton *btFirm;     // "Справочник производителей"
    DBEdit *edNumber;        // "Номер модели": ModlNumber
    DBCheckBox *DBCheckBox1; // "Только номер": ModlNameOnly
    DBEdit *edParameters;    // "Характеристики": ModlParametersValue
    DBEdit *edNote;          // "Примечание": ModlNote

    // A model without a producer is named by its number alone; the name is composed by
    // CalcModelName;1, then the base save.
    void btSaveClick() override;
    // A producer typed as a new name becomes a firm (ProducerFirm) in the transaction that stores
    // the model.
    void postData() override;
    void btKindClick();
    void btFirmClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void composeName();
    // The producer typed as a new name, empty when the box shows a firm or nothing.
    QString newProducer() const;
    DataSet *spCalcName;
};
