#include "dialogs/dgWorkplaceEdit.h"

#include "data/DataSet.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "dialogs/dgDepartmentFind.h"
#include "model/dmLookUpData.h"
#include "ui/Actions.h"
#include "ui/DataControls.h"
#include "ui/ImageList.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

const QString TWorkplaceEditDG::NameMessage = QStringLiteral("Укажите наименование рабочего места.");
const QString TWorkplaceEditDG::DepartmentMessage = QStringLiteral("Выберите подразделение рабочего места.");

TWorkplaceEditDG::TWorkplaceEditDG() {
    setObjectName(QStringLiteral("WorkplaceEditDG"));
    setWindowTitle(QStringLiteral("Рабочее место"));

    taData->setCommand(QStringLiteral("SELECT * FROM Workplace WHERE IdWorkplace = :ID"));

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

    btFind = DialogButton(this, "btFind", imageIcon(Img::Find), QStringLiteral("Поиск"));

    auto *grid = new QGridLayout;
    grid->addWidget(caption(QStringLiteral("Подразделение:"), lcHigher), 0, 0, 1, 2);
    grid->addWidget(lcHigher, 1, 0);
    grid->addWidget(btFind, 1, 1);
    grid->addWidget(caption(QStringLiteral("Наименование"), edName), 2, 0, 1, 2);
    grid->addWidget(edName, 3, 0, 1, 2);
    grid->addWidget(caption(QStringLiteral("Дополнительные названия для поиска"), edSynonym), 4, 0, 1, 2);
    grid->addWidget(edSynonym, 5, 0, 1, 2);
    grid->addWidget(caption(QStringLiteral("Пользователь"), lcUser), 6, 0, 1, 2);
    grid->addWidget(lcUser, 7, 0, 1, 2);
    grid->addWidget(caption(QStringLiteral("Телефон"), edPhone), 8, 0, 1, 2);
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

    addRule(
        [this] {
            const Field *dprt = taData->findField(QStringLiteral("WrkpIdDepartment"));
            return !dprt || dprt->asInt() > 0;
        },
        DepartmentMessage, lcHigher);
    requireName(QStringLiteral("WrkpName"), edName, NameMessage);

    connect(btFind, &QPushButton::clicked, this, [this] { Guarded([this] { btFindClick(); }); });
}

bool TWorkplaceEditDG::Run(int work, int dprt, int *newKey) {
    TWorkplaceEditDG *dlg = Instance();
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

void TWorkplaceEditDG::btFindClick() {
    if (Field *dprt = taData->findField(QStringLiteral("WrkpIdDepartment")))
        TDepartmentFindDG::Run(dprt);
}
