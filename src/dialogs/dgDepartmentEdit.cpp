#include "dialogs/dgDepartmentEdit.h"

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
#include <QSet>
#include <QVBoxLayout>

const QString TDepartmentEditDG::NameMessage = QStringLiteral("Укажите наименование подразделения.");
const QString TDepartmentEditDG::ParentMessage =
    QStringLiteral("Нельзя назначать вышестоящим это подразделение.");

TDepartmentEditDG::TDepartmentEditDG() {
    setObjectName(QStringLiteral("DepartmentEditDG"));
    setWindowTitle(QStringLiteral("Подразделение"));

    taData->setCommand(QStringLiteral("select * from Department where IdDepartment =:ID"));

    cbHight = new DBLookupCombo(taData, QStringLiteral("DprtIdHigher"), this);
    cbHight->setObjectName(QStringLiteral("cbHight"));
    cbHight->setToolTip(QStringLiteral("DEL — нет вышестоящего"));
    cbHight->setSearchEnabled(true);
    cbHight->setClearOnDelete(true);
    if (dmLookUp)
        cbHight->setListSource(dmLookUp->taDepart);

    btFind = DialogButton(this, "btFind", imageIcon(Img::Find), QStringLiteral("Поиск"));

    edName = new DBEdit(taData, QStringLiteral("DprtName"), this);
    edName->setObjectName(QStringLiteral("edName"));
    edSynonym = new DBEdit(taData, QStringLiteral("Synonym"), this);
    edSynonym->setObjectName(QStringLiteral("edSynonym"));

    auto *grid = new QGridLayout;
    grid->addWidget(caption(QStringLiteral("Вышестоящее подразделение:"), cbHight), 0, 0, 1, 2);
    grid->addWidget(cbHight, 1, 0);
    grid->addWidget(btFind, 1, 1);
    grid->addWidget(caption(QStringLiteral("Наименование"), edName), 2, 0, 1, 2);
    grid->addWidget(edName, 3, 0, 1, 2);
    grid->addWidget(caption(QStringLiteral("Дополнительные названия для поиска"), edSynonym), 4, 0, 1, 2);
    grid->addWidget(edSynonym, 5, 0, 1, 2);
    grid->setColumnMinimumWidth(0, 380);
    contentLayout()->addLayout(grid);

    setTabOrder(cbHight, btFind);
    setTabOrder(btFind, edName);
    setTabOrder(edName, edSynonym);
    setTabOrder(edSynonym, btSave);
    setTabOrder(btSave, btCancel);

    requireName(QStringLiteral("DprtName"), edName, NameMessage);
    addRule([this] { return ParentAllowed(); }, ParentMessage, cbHight);

    connect(btFind, &QPushButton::clicked, this, [this] { Guarded([this] { btFindClick(); }); });
}

bool TDepartmentEditDG::Run(int dprt, int higher, int *newKey) {
    TDepartmentEditDG *dlg = Instance();
    // Every department by name, this one included.
    OpenWithParams(*dmLookUp->taDepart);
    const bool saved = dlg->runEdit(dprt, [higher](DataSet &ds) {
        if (higher > 0)
            ds.fieldByName(QStringLiteral("DprtIdHigher"))->setValue(higher);
    });
    if (saved && newKey)
        *newKey = dlg->taData->value(QStringLiteral("IdDepartment")).toInt();
    return saved;
}

bool TDepartmentEditDG::ParentAllowed() const {
    const Field *self = taData->findField(QStringLiteral("IdDepartment"));
    const Field *higher = taData->findField(QStringLiteral("DprtIdHigher"));
    if (!self || !higher || self->isNull() || higher->isNull())
        return true;
    const int me = self->asInt();
    // Up from the chosen superior: reaching this department means it would sit below itself.
    QSet<int> seen;
    QVariant at = higher->value();
    while (!at.isNull()) {
        const int key = at.toInt();
        if (key == me)
            return false;
        if (seen.contains(key))
            break; // a loop above that does not pass through this department
        seen.insert(key);
        at = taData->connection()->scalar(
            QStringLiteral("SELECT DprtIdHigher FROM Department WHERE IdDepartment = :K"),
            {{QStringLiteral("K"), key}});
    }
    return true;
}

void TDepartmentEditDG::btFindClick() {
    if (Field *higher = taData->findField(QStringLiteral("DprtIdHigher")))
        TDepartmentFindDG::Run(higher);
}
