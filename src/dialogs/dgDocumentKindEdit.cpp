#include "dialogs/dgDocumentKindEdit.h"

#include "data/DataSet.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "ui/DataControls.h"
#include "ui/Seams.h"

#include <QFormLayout>
#include <QLabel>
#include <QPushButton>

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
    requireName(QStringLiteral("ID"), edCode, QStringLiteral("Укажите код типа документа: один символ."));
    setTabOrder(edCode, edName);
    setTabOrder(edName, btSave);
    setTabOrder(btSave, btCancel);
}

std::optional<QString> TDocumentKindEditDG::Run(const QString &Kind) {
    TDocumentKindEditDG *dlg = Instance();
    OpenWithParams(*dlg->taData, {TypedValue::Text(Kind)});
    if (dlg->taData->isEmpty())
        dlg->taData->append();
    dlg->setResult(QDialog::Rejected);
    if (RunModal(*dlg) != QDialog::Accepted)
        return std::nullopt;
    return dlg->taData->value(QStringLiteral("ID")).toString();
}
