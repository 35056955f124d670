#include "dgTrademarkEdit.h"

#include "DataControls.h"
#include "DataSet.h"
#include "TessalDialog.h"

#include <QFormLayout>
#include <QLabel>
#include <QPushButton>

QPointer<TTrademarkEditDG> TTrademarkEditDG::s_instance;

TTrademarkEditDG::TTrademarkEditDG() : TBaseEditDG(nullptr) {
    setObjectName(QStringLiteral("TrademarkEditDG"));
    setWindowTitle(QStringLiteral("Торговая марка"));
    taData->setCommand(QStringLiteral("select *  from Trademark where ID =  :ID"));
    taData->parameter(QStringLiteral("ID")).type = FieldType::SmallInt;

    DBEdit2 = new DBEdit(taData, QStringLiteral("Name"), this);
    DBEdit2->setObjectName(QStringLiteral("DBEdit2"));
    DBEdit2->setMinimumWidth(260);
    auto *form = new QFormLayout;
    auto *label = new QLabel(QStringLiteral("Наименование"), this);
    label->setBuddy(DBEdit2);
    form->addRow(label, DBEdit2);
    contentLayout()->addLayout(form);

    setTabOrder(DBEdit2, btSave);
    setTabOrder(btSave, btCancel);
}

TTrademarkEditDG *TTrademarkEditDG::Instance() {
    if (!s_instance)
        s_instance = new TTrademarkEditDG;
    return s_instance;
}

void TTrademarkEditDG::ResetForTesting() {
    delete s_instance.data();
}

bool TTrademarkEditDG::CheckRun(int ID) {
    return Instance()->runEdit(ID);
}

void TTrademarkEditDG::btSaveClick() {
    if (taData->isEditing() && taData->value(QStringLiteral("Name")).toString().trimmed().isEmpty()) {
        ShowError(QStringLiteral("Укажите наименование торговой марки."));
        DBEdit2->setFocus();
        return;
    }
    TBaseEditDG::btSaveClick();
}
