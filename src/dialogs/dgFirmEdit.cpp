#include "dialogs/dgFirmEdit.h"

#include "data/DataSet.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/TessalString.h"
#include "data/dmTessalData.h"
#include "dialogs/dgTrademarkList.h"
#include "model/dmLookUpData.h"
#include "ui/Actions.h"
#include "ui/DataControls.h"
#include "ui/ImageList.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

const QString FirmShortNamePlaceholder = QStringLiteral("temp befor delete");

void ApplyFirmShortName(DataSet &firm) {
    Field *shortName = firm.findField(QStringLiteral("ClntNameShort"));
    const Field *trademark = firm.findField(QStringLiteral("Trademark"));
    if (!shortName || !firm.isEditing())
        return;
    if (shortName->isNull() || (trademark && !trademark->isNull()))
        shortName->setValue(FirmShortNamePlaceholder);
}

TFirmEditDG::TFirmEditDG() : TBaseEditDG(nullptr) {
    setObjectName(QStringLiteral("FirmEditDG"));
    setWindowTitle(QStringLiteral("Поставщик, производитель"));
    taData->setCommand(QStringLiteral("select * from Client where IdClient = :ID"));
    taData->beforePost = [](DataSet &ds) { ApplyFirmShortName(ds); };

    cbTrade = Named(new DBLookupCombo(taData, QStringLiteral("Trademark"), this), "cbTrade");
    cbTrade->setClearOnDelete(true);
    sbModel = DialogButton(this, "sbModel", imageIcon(Img::Open), QStringLiteral("Торговая марка"));
    edName = Named(new DBEdit(taData, QStringLiteral("ClntNameFull"), this), "edName");
    edName->setMinimumWidth(380);
    btQuotes = DialogButton(this, "btQuotes", QStringLiteral("«»"));
    btQuotes->setToolTip(QStringLiteral("Кавычки"));
    const auto counter = [&](const char *field, const char *name) {
        auto *e = Named(new DBEdit(taData, QString::fromLatin1(field), this), name);
        e->setReadOnly(true);
        e->setFocusPolicy(Qt::NoFocus);
        QPalette p = e->palette();
        p.setColor(QPalette::Base, p.color(QPalette::Button));
        e->setPalette(p);
        e->setMaximumWidth(80);
        return e;
    };
    edCountDoc = counter("CountDoc", "edCountDoc");
    edCountModel = counter("CountModel", "edCountModel");
    if (dmLookUp)
        cbTrade->setListSource(dmLookUp->taTrade);

    auto *grid = new QGridLayout;
    grid->addWidget(caption(QStringLiteral("Торговая марка"), cbTrade), 0, 0);
    grid->addWidget(cbTrade, 0, 1);
    grid->addWidget(sbModel, 0, 2);
    grid->addWidget(caption(QStringLiteral("Полное наименование"), edName), 1, 0);
    grid->addWidget(edName, 1, 1);
    grid->addWidget(btQuotes, 1, 2);
    grid->addWidget(caption(QStringLiteral("Количество документов (поставщик)"), edCountDoc), 2, 0);
    grid->addWidget(edCountDoc, 2, 1, Qt::AlignLeft);
    grid->addWidget(caption(QStringLiteral("Количество моделей (производитель)"), edCountModel), 3, 0);
    grid->addWidget(edCountModel, 3, 1, Qt::AlignLeft);
    contentLayout()->addLayout(grid);

    setTabOrder(cbTrade, edName);
    setTabOrder(edName, btSave);
    setTabOrder(btSave, btCancel);

    connect(sbModel, &QPushButton::clicked, this, [this] { Guarded([this] { sbModelClick(); }); });
    connect(btQuotes, &QPushButton::clicked, this, [this] { Guarded([this] { btQuotesClick(); }); });
}

std::optional<int> TFirmEditDG::Run(int Firm) {
    TFirmEditDG *dlg = Instance();
    if (dmLookUp) {
        if (dlg->cbTrade->listSource() != dmLookUp->taTrade)
            dlg->cbTrade->setListSource(dmLookUp->taTrade);
        OpenWithParams(*dmLookUp->taTrade);
    }
    return dlg->runEditKey(Firm, QStringLiteral("IdClient"));
}

void TFirmEditDG::sbModelClick() {
    Field *trademark = taData->findField(QStringLiteral("Trademark"));
    if (!trademark)
        return;
    TTrademarkListDG::Run(trademark->isNull() ? -1 : trademark->asInt(), trademark);
    // Marks may have been added or renamed in the list: the box shows them at once.
    if (dmLookUp)
        OpenWithParams(*dmLookUp->taTrade);
}

void TFirmEditDG::btQuotesClick() {
    Field *name = taData->findField(QStringLiteral("ClntNameFull"));
    if (!name)
        return;
    if (edName->hasSelectedText()) {
        const int start = edName->selectionStart();
        const QString selected = edName->selectedText();
        QString text = edName->text();
        text.replace(start, selected.size(), QuoteName(selected));
        SetFieldValue(*name, text);
    } else {
        SetFieldValue(*name, edName->text());
    }
}
