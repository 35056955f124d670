#include "dialogs/dgTrademarkEdit.h"

#include "data/DataSet.h"
#include "data/TessalDialog.h"
#include "ui/DataControls.h"

#include <QFormLayout>
#include <QLabel>
#include <QPushButton>

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

    requireName(QStringLiteral("Name"), DBEdit2, QStringLiteral("Укажите наименование торговой марки."));

    setTabOrder(DBEdit2, btSave);
    setTabOrder(btSave, btCancel);
}

std::optional<int> TTrademarkEditDG::CheckRun(int ID) {
    return Instance()->runEditKey(ID, QStringLiteral("ID"));
}
