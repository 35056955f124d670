#include "dgDocumentKindEdit.h"

#include "DataControls.h"
#include "DataSet.h"
#include "Seams.h"
#include "TessalADO.h"
#include "TessalDialog.h"
#include "dmTessalData.h"

#include <QFormLayout>
#include <QLabel>
#include <QPushButton>

QPointer<TDocumentKindEditDG> TDocumentKindEditDG::s_instance;

TDocumentKindEditDG::TDocumentKindEditDG() : TBaseEditDG(nullptr) {
    setObjectName(QStringLiteral("DocumentKindEditDG"));
    setWindowTitle(QStringLiteral("Тип документа"));
    taData->setCommand(QStringLiteral("SELECT * FROM DocKind WHERE ID = :ID"));
    taData->parameter(QStringLiteral("ID")).type = FieldType::FixedChar;

    edCode = new DBEdit(taData, QStringLiteral("ID"), this);
    edCode->setObjectName(QStringLiteral("edCode"));
    edCode->setMaximumWidth(40);
    edName = new DBEdit(taData, QStringLiteral("Name"), this);
    edName->setObjectName(QStringLiteral("edName"));
    edName->setMinimumWidth(200);
    auto *form = new QFormLayout;
    for (auto [caption, control] :
         {std::pair{QStringLiteral("Код (символ)"), edCode}, std::pair{QStringLiteral("Название"), edName}}) {
        auto *label = new QLabel(caption, this);
        label->setBuddy(control);
        form->addRow(label, control);
    }
    contentLayout()->addLayout(form);
    setTabOrder(edCode, edName);
    setTabOrder(edName, btSave);
    setTabOrder(btSave, btCancel);
}

TDocumentKindEditDG *TDocumentKindEditDG::Instance() {
    if (!s_instance)
        s_instance = new TDocumentKindEditDG;
    return s_instance;
}

void TDocumentKindEditDG::ResetForTesting() {
    delete s_instance.data();
}

bool TDocumentKindEditDG::Run(const QString &Kind) {
    TDocumentKindEditDG *dlg = Instance();
    if (dmTessal)
        dlg->taData->setConnection(&dmTessal->cnGeneral);
    OpenWithParams(*dlg->taData, {TypedValue::Text(Kind)});
    if (dlg->taData->isEmpty())
        dlg->taData->append();
    dlg->setResult(QDialog::Rejected);
    return RunModal(*dlg) == QDialog::Accepted;
}

void TDocumentKindEditDG::btSaveClick() {
    if (taData->isEditing() && taData->value(QStringLiteral("ID")).toString().trimmed().isEmpty()) {
        ShowError(QStringLiteral("Укажите код типа документа: один символ."));
        edCode->setFocus();
        return;
    }
    TBaseEditDG::btSaveClick();
}
