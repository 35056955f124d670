#include "dgDepartmentEdit.h"

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
#include <QSet>
#include <QVBoxLayout>

const QString TDepartmentEditDG::ParentMessage =
    QStringLiteral("Нельзя назначать вышестояшим это подразделение.");

QPointer<TDepartmentEditDG> TDepartmentEditDG::s_instance;

TDepartmentEditDG::TDepartmentEditDG() {
    setObjectName(QStringLiteral("DepartmentEditDG"));
    setWindowTitle(QStringLiteral("Подразделение"));

    taData->setCommand(QStringLiteral("select * from Department where IdDepartment =:ID"));
    taData->addField({QStringLiteral("IdDepartment"), FieldType::Integer, 0, true, {}, {}});
    taData->addField({QStringLiteral("DprtIdHigher"), FieldType::Integer, 0, false, {}, {}});
    taData->addField({QStringLiteral("DprtName"), FieldType::String, 100, false, {}, {}});
    taData->addField({QStringLiteral("Synonym"), FieldType::String, 150, false, {}, {}});

    cbHight = new DBLookupCombo(taData, QStringLiteral("DprtIdHigher"), this);
    cbHight->setObjectName(QStringLiteral("cbHight"));
    cbHight->setToolTip(QStringLiteral("DEL — нет выше стоящего"));
    cbHight->setSearchEnabled(true);
    cbHight->setClearOnDelete(true);
    if (dmLookUp)
        cbHight->setListSource(dmLookUp->taDepart);

    btFind = new QPushButton(this);
    btFind->setObjectName(QStringLiteral("btFind"));
    btFind->setIcon(imageIcon(Img::Find));
    btFind->setToolTip(QStringLiteral("Поиск"));
    btFind->setAutoDefault(false);

    edName = new DBEdit(taData, QStringLiteral("DprtName"), this);
    edName->setObjectName(QStringLiteral("edName"));
    edSynonym = new DBEdit(taData, QStringLiteral("Synonym"), this);
    edSynonym->setObjectName(QStringLiteral("edSynonym"));

    auto label = [this](const QString &text, QWidget *buddy) {
        auto *l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };
    auto *grid = new QGridLayout;
    grid->addWidget(label(QStringLiteral("Вышестоящее подразделение:"), cbHight), 0, 0, 1, 2);
    grid->addWidget(cbHight, 1, 0);
    grid->addWidget(btFind, 1, 1);
    grid->addWidget(label(QStringLiteral("Наименование"), edName), 2, 0, 1, 2);
    grid->addWidget(edName, 3, 0, 1, 2);
    grid->addWidget(label(QStringLiteral("Дополнительные названия для поиска"), edSynonym), 4, 0, 1, 2);
    grid->addWidget(edSynonym, 5, 0, 1, 2);
    grid->setColumnMinimumWidth(0, 380);
    contentLayout()->addLayout(grid);

    setTabOrder(cbHight, btFind);
    setTabOrder(btFind, edName);
    setTabOrder(edName, edSynonym);
    setTabOrder(edSynonym, btSave);
    setTabOrder(btSave, btCancel);

    connect(btFind, &QPushButton::clicked, this, [this] { Guarded([this] { btFindClick(); }); });
}

TDepartmentEditDG *TDepartmentEditDG::Instance() {
    if (!s_instance)
        s_instance = new TDepartmentEditDG;
    return s_instance;
}

void TDepartmentEditDG::ResetForTesting() {
    delete s_instance.data();
}

bool TDepartmentEditDG::Run(int dprt, int higher, int *newKey) {
    TDepartmentEditDG *dlg = Instance();
    if (dmTessal)
        dlg->taData->setConnection(&dmTessal->cnGeneral);
    if (dlg->cbHight->listSource() != dmLookUp->taDepart)
        dlg->cbHight->setListSource(dmLookUp->taDepart);
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

void TDepartmentEditDG::btSaveClick() {
    if (taData->isEditing() && !ParentAllowed()) {
        ShowError(ParentMessage);
        cbHight->setFocus();
        return;
    }
    TBaseEditDG::btSaveClick();
}

void TDepartmentEditDG::btFindClick() {
    if (Field *higher = taData->findField(QStringLiteral("DprtIdHigher")))
        TDepartmentFindDG::Run(higher);
}
