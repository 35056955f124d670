#include "dgWorkplaceEdit.h"

#include "Actions.h"
#include "DataControls.h"
#include "DataSet.h"
#include "TessalADO.h"
#include "TessalDialog.h"
#include "dgDepartmentFind.h"
#include "dmLookUpData.h"
#include "dmTessalData.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

const QString TWorkplaceEditDG::DepartmentMessage = QStringLiteral("Выберите подразделение рабочего места.");

QPointer<TWorkplaceEditDG> TWorkplaceEditDG::s_instance;

TWorkplaceEditDG::TWorkplaceEditDG() {
    setObjectName(QStringLiteral("WorkplaceEditDG"));
    setWindowTitle(QStringLiteral("Рабочее место"));

    taData->setCommand(QStringLiteral("SELECT * FROM Workplace WHERE IdWorkplace = :ID"));
    taData->addField({QStringLiteral("IdWorkplace"), FieldType::Integer, 0, true, {}, {}});
    taData->addField({QStringLiteral("WrkpIdDepartment"), FieldType::Integer, 0, false, {}, {}});
    taData->addField({QStringLiteral("WrkpName"), FieldType::String, 50, false, {}, {}});
    taData->addField({QStringLiteral("WrkpOrder"), FieldType::Integer, 0, false, {}, {}});
    taData->addField({QStringLiteral("Phone"), FieldType::String, 15, false, {}, {}});
    taData->addField({QStringLiteral("Synonym"), FieldType::String, 150, false, {}, {}});
    taData->addField({QStringLiteral("User"), FieldType::Integer, 0, false, {}, {}});

    lcHigher = new DBLookupCombo(taData, QStringLiteral("WrkpIdDepartment"), this);
    lcHigher->setObjectName(QStringLiteral("lcHigher"));
    edName = new DBEdit(taData, QStringLiteral("WrkpName"), this);
    edName->setObjectName(QStringLiteral("edName"));
    edSynonym = new DBEdit(taData, QStringLiteral("Synonym"), this);
    edSynonym->setObjectName(QStringLiteral("edSynonym"));
    lcUser = new DBLookupCombo(taData, QStringLiteral("User"), this);
    lcUser->setObjectName(QStringLiteral("lcUser"));
    lcUser->setClearOnDelete(true);
    edPhone = new DBEdit(taData, QStringLiteral("Phone"), this);
    edPhone->setObjectName(QStringLiteral("edPhone"));
    if (dmLookUp) {
        lcHigher->setListSource(dmLookUp->taDepart);
        lcUser->setListSource(dmLookUp->taUser, QStringLiteral("ID"), QStringLiteral("DisplayLookup"));
    }

    btFind = new QPushButton(this);
    btFind->setObjectName(QStringLiteral("btFind"));
    btFind->setIcon(imageIcon(Img::Find));
    btFind->setToolTip(QStringLiteral("Поиск"));
    btFind->setAutoDefault(false);

    auto label = [this](const QString &text, QWidget *buddy) {
        auto *l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };
    auto *grid = new QGridLayout;
    grid->addWidget(label(QStringLiteral("Подразделение:"), lcHigher), 0, 0, 1, 2);
    grid->addWidget(lcHigher, 1, 0);
    grid->addWidget(btFind, 1, 1);
    grid->addWidget(label(QStringLiteral("Наименование"), edName), 2, 0, 1, 2);
    grid->addWidget(edName, 3, 0, 1, 2);
    grid->addWidget(label(QStringLiteral("Дополнительные названия для поиска"), edSynonym), 4, 0, 1, 2);
    grid->addWidget(edSynonym, 5, 0, 1, 2);
    grid->addWidget(label(QStringLiteral("Пользователь"), lcUser), 6, 0, 1, 2);
    grid->addWidget(lcUser, 7, 0, 1, 2);
    grid->addWidget(label(QStringLiteral("Телефон"), edPhone), 8, 0, 1, 2);
    grid->addWidget(edPhone, 9, 0);
    grid->setColumnMinimumWidth(0, 380);
    contentLayout()->addLayout(grid);

    setTabOrder(lcHigher, edName);
    setTabOrder(edName, edSynonym);
    setTabOrder(edSynonym, lcUser);
    setTabOrder(lcUser, edPhone);
    setTabOrder(edPhone, btCancel);
    setTabOrder(btCancel, btSave);
    setTabOrder(btSave, btFind);

    connect(btFind, &QPushButton::clicked, this, [this] { Guarded([this] { btFindClick(); }); });
}

TWorkplaceEditDG *TWorkplaceEditDG::Instance() {
    if (!s_instance)
        s_instance = new TWorkplaceEditDG;
    return s_instance;
}

void TWorkplaceEditDG::ResetForTesting() {
    delete s_instance.data();
}

bool TWorkplaceEditDG::Run(int work, int dprt, int *newKey) {
    TWorkplaceEditDG *dlg = Instance();
    if (dmTessal)
        dlg->taData->setConnection(&dmTessal->cnGeneral);
    if (dlg->lcHigher->listSource() != dmLookUp->taDepart)
        dlg->lcHigher->setListSource(dmLookUp->taDepart);
    if (dlg->lcUser->listSource() != dmLookUp->taUser)
        dlg->lcUser->setListSource(dmLookUp->taUser, QStringLiteral("ID"), QStringLiteral("DisplayLookup"));
    OpenWithParams(*dmLookUp->taDepart);
    OpenWithParams(*dmLookUp->taUser);
    const bool saved = dlg->runEdit(work, [dprt](DataSet &ds) {
        if (dprt > 0)
            ds.fieldByName(QStringLiteral("WrkpIdDepartment"))->setValue(dprt);
    });
    if (saved && newKey)
        *newKey = dlg->taData->value(QStringLiteral("IdWorkplace")).toInt();
    return saved;
}

void TWorkplaceEditDG::btSaveClick() {
    const Field *dprt = taData->findField(QStringLiteral("WrkpIdDepartment"));
    if (taData->isEditing() && dprt && (dprt->isNull() || dprt->asInt() <= 0)) {
        ShowError(DepartmentMessage);
        lcHigher->setFocus();
        return;
    }
    TBaseEditDG::btSaveClick();
}

void TWorkplaceEditDG::btFindClick() {
    if (Field *dprt = taData->findField(QStringLiteral("WrkpIdDepartment")))
        TDepartmentFindDG::Run(dprt);
}
