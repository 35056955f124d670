#include "dialogs/dgElementEdit.h"

#include "data/DataSet.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "dialogs/dgDeviceEdit.h"
#include "dialogs/dgDocumentList.h"
#include "dialogs/dgElementMoveEdit.h"
#include "dialogs/dgKindList.h"
#include "dialogs/dgModelFind.h"
#include "dialogs/dgModelList.h"
#include "model/dmChainData.h"
#include "model/dmLookUpData.h"
#include "ui/Actions.h"
#include "ui/BusyCursor.h"
#include "ui/DataControls.h"
#include "ui/ImageList.h"
#include "ui/Seams.h"

#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <optional>

namespace {
const QString KindField = QStringLiteral("ModelKind");
const QString ModelField = QStringLiteral("CmplIdModel");
} // namespace

TCompleteSetEditDG::TCompleteSetEditDG() : TBaseEditDG(nullptr) {
    setObjectName(QStringLiteral("CompleteSetEditDG"));
    setWindowTitle(QStringLiteral("Компонент"));
    taData->setCommand(QStringLiteral("SELECT * FROM  CompleteSet WHERE (IdComponent = :ID)"));

    const auto edit = [&](const char *field, const char *name) {
        return Named(new DBEdit(taData, QString::fromLatin1(field), this), name);
    };
    const auto readOnlyBox = [&](const char *name) {
        auto *e = Named(new QLineEdit(this), name);
        e->setReadOnly(true);
        e->setFocusPolicy(Qt::NoFocus);
        QPalette p = e->palette();
        p.setColor(QPalette::Base, p.color(QPalette::Button));
        e->setPalette(p);
        return e;
    };

    lcKind = Named(new DBLookupCombo(taData, KindField, this), "lcKind");
    sbKind = DialogButton(this, "sbKind", imageIcon(Img::Open), QStringLiteral("Справочник типов"));
    lcModel = Named(new DBLookupCombo(taData, ModelField, this), "lcModel");
    lcModel->setSearchEnabled(true);
    sbModel = DialogButton(this, "sbModel", imageIcon(Img::Open), QStringLiteral("Справочник моделей"));
    sbFindModel =
        DialogButton(this, "sbFindModel", imageIcon(Img::Find), QStringLiteral("Справочник моделей"));
    edModelNote = readOnlyBox("edModelNote");
    edNumberManufact = edit("NumberManufact", "edNumberManufact");
    edDateMan = Named(new DBDateEdit(taData, QStringLiteral("DateManufact"), this), "edDateMan");
    edDateManText = readOnlyBox("edDateManText");
    edNumberSeller = edit("NumberSeller", "edNumberSeller");
    edWarranty = edit("Warranty", "edWarranty");
    edWarranty->setMaximumWidth(60);
    edNumberDIT = edit("CmplNumber", "edNumberDIT");
    edDataSet = Named(new DBDateEdit(taData, QStringLiteral("CmplDateSet"), this), "edDataSet");
    lcDoc = Named(new DBLookupCombo(taData, QStringLiteral("DocumentId"), this), "lcDoc");
    lcDoc->setSearchEnabled(true);
    sbDoc = DialogButton(this, "sbDoc", imageIcon(Img::Open), QStringLiteral("Справочник документов"));
    btClear = DialogButton(this, "btClear", imageIcon(Img::Delete), QStringLiteral("Очистка."));
    dbeSpecPos = edit("DocumentPosition", "dbeSpecPos");
    dbeSpecPos->setMaximumWidth(60);
    dbeSpecPrice = edit("Price", "dbeSpecPrice");
    if (dmLookUp) {
        lcKind->setListSource(dmLookUp->taKind);
        lcModel->setListSource(dmLookUp->taModel);
        lcDoc->setListSource(dmLookUp->taDocument);
    }

    auto *top = new QGridLayout;
    top->addWidget(caption(QStringLiteral("Тип"), lcKind), 0, 0);
    top->addWidget(lcKind, 0, 1);
    top->addWidget(sbKind, 0, 2);
    contentLayout()->addLayout(top);

    auto *model = new QGroupBox(QStringLiteral(" Модель "), this);
    auto *ml = new QGridLayout(model);
    ml->addWidget(lcModel, 0, 0);
    ml->addWidget(sbModel, 0, 1);
    ml->addWidget(sbFindModel, 0, 2);
    ml->addWidget(edModelNote, 1, 0, 1, 3);
    contentLayout()->addWidget(model);

    auto *maker = new QGroupBox(QStringLiteral(" Производитель "), this);
    auto *pl = new QGridLayout(maker);
    pl->addWidget(caption(QStringLiteral("Серийный номер"), edNumberManufact), 0, 0);
    pl->addWidget(edNumberManufact, 0, 1, 1, 2);
    pl->addWidget(caption(QStringLiteral("Изготовлено"), edDateMan), 1, 0);
    pl->addWidget(edDateMan, 1, 1);
    pl->addWidget(edDateManText, 1, 2);
    contentLayout()->addWidget(maker);

    auto *seller = new QGroupBox(QStringLiteral(" Продавец "), this);
    auto *sl = new QGridLayout(seller);
    sl->addWidget(caption(QStringLiteral("Номер"), edNumberSeller), 0, 0);
    sl->addWidget(edNumberSeller, 0, 1);
    sl->addWidget(caption(QStringLiteral("Гарантия"), edWarranty), 0, 2);
    sl->addWidget(edWarranty, 0, 3);
    sl->addWidget(caption(QStringLiteral("месяцев"), nullptr), 0, 4);
    contentLayout()->addWidget(seller);

    auto *ours = new QGridLayout;
    ours->addWidget(caption(QStringLiteral("Дополнение номера от ОИТ"), edNumberDIT), 0, 0);
    ours->addWidget(edNumberDIT, 0, 1);
    ours->addWidget(caption(QStringLiteral("Установлено"), edDataSet), 1, 0);
    ours->addWidget(edDataSet, 1, 1);
    contentLayout()->addLayout(ours);

    auto *doc = new QGroupBox(QStringLiteral(" Документ "), this);
    auto *dl = new QGridLayout(doc);
    dl->addWidget(lcDoc, 0, 0, 1, 4);
    dl->addWidget(sbDoc, 0, 4);
    dl->addWidget(btClear, 0, 5);
    dl->addWidget(caption(QStringLiteral("Поз. №"), dbeSpecPos), 1, 0);
    dl->addWidget(dbeSpecPos, 1, 1);
    dl->addWidget(caption(QStringLiteral("Цена"), dbeSpecPrice), 1, 2);
    dl->addWidget(dbeSpecPrice, 1, 3);
    contentLayout()->addWidget(doc);
    auto *wide = new QWidget(this);
    wide->setFixedSize(460, 0);
    contentLayout()->addWidget(wide);

    QWidget *order[] = {lcKind,       lcModel,     edNumberManufact, edDateMan, edNumberSeller,
                        edWarranty,   edNumberDIT, edDataSet,        lcDoc,     dbeSpecPos,
                        dbeSpecPrice, btSave,      btCancel};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(taData, &DataSet::fieldChanged, this, [this](Field *f) {
        if (f && f->name().compare(KindField, Qt::CaseInsensitive) == 0)
            kindChanged();
        else if (f && f->name().compare(ModelField, Qt::CaseInsensitive) == 0)
            showModelNote();
        else if (f && f->name().compare(QStringLiteral("DateManufact"), Qt::CaseInsensitive) == 0)
            showDateText();
    });
    for (auto signal : {&DataSet::scrolled, &DataSet::stateChanged, &DataSet::dataChanged})
        connect(taData, signal, this, [this] {
            kindChanged();
            showDateText();
        });
    if (dmLookUp)
        connect(dmLookUp->taModel, &DataSet::dataChanged, this, &TCompleteSetEditDG::showModelNote);

    const auto click = [this](QPushButton *b, void (TCompleteSetEditDG::*handler)()) {
        connect(b, &QPushButton::clicked, this,
                [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    };
    click(sbKind, &TCompleteSetEditDG::sbKindClick);
    click(sbModel, &TCompleteSetEditDG::sbModelClick);
    click(sbFindModel, &TCompleteSetEditDG::sbFindModelClick);
    click(sbDoc, &TCompleteSetEditDG::sbDocClick);
    click(btClear, &TCompleteSetEditDG::btClearClick);
}

std::optional<SavedElement> TCompleteSetEditDG::Run(int CompSet, int Device, const QString &KindType) {
    TCompleteSetEditDG *dlg = Instance();
    // The hourglass while the record and the lists load; the dialog itself shows the normal cursor.
    std::optional<BusyCursor> busy(std::in_place);
    if (dlg->lcKind->listSource() != dmLookUp->taKind) {
        dlg->lcKind->setListSource(dmLookUp->taKind);
        dlg->lcModel->setListSource(dmLookUp->taModel);
        dlg->lcDoc->setListSource(dmLookUp->taDocument);
        connect(dmLookUp->taModel, &DataSet::dataChanged, dlg, &TCompleteSetEditDG::showModelNote);
    }
    DataSet &ds = *dlg->taData;
    dlg->m_shownKind = -2;
    OpenWithParams(ds, {TypedValue::Int(CompSet)});
    if (ds.isEmpty()) {
        ds.append();
        ds.fieldByName(QStringLiteral("CmplIdDevice"))->setValue(Device);
        const QDateTime now = QDateTime::currentDateTime();
        ds.fieldByName(QStringLiteral("CmplDateSet"))
            ->setValue(
                QDateTime(now.date(), QTime(now.time().hour(), now.time().minute(), now.time().second())));
        dlg->edModelNote->clear();
    }
    dlg->m_type.clear();
    dlg->offerKindsOf(KindType);
    OpenWithParams(*dmLookUp->taDocument);
    dlg->kindChanged();
    dlg->showDateText();
    dlg->dsDataDataChange();
    dlg->setResult(QDialog::Rejected);
    busy.reset();
    if (RunModal(*dlg) != QDialog::Accepted)
        return std::nullopt;
    const auto key = [&ds](const QString &field) {
        const Field *f = ds.findField(field);
        return f && !f->isNull() ? f->asInt() : -1;
    };
    return SavedElement{key(QStringLiteral("IdComponent")), key(QStringLiteral("CmplIdModel"))};
}

void TCompleteSetEditDG::offerKindsOf(const QString &type) {
    if (type == m_type && dmLookUp->taKind->isActive())
        return;
    m_type = type;
    dmLookUp->SetKindType(type);
}

void TCompleteSetEditDG::kindChanged() {
    if (!m_followKind || !dmLookUp || !taData->isActive())
        return;
    const Field *kind = taData->findField(KindField);
    const int shown = kind && !kind->isNull() && lcKind->rowOfValue() >= 0 ? kind->asInt() : -1;
    if (shown != m_shownKind) {
        m_shownKind = shown;
        dmLookUp->SetKind(shown);
    }
    showModelNote();
}

void TCompleteSetEditDG::showModelNote() {
    if (!dmLookUp)
        return;
    const int row = lcModel->rowOfValue();
    const DataSet *models = dmLookUp->taModel;
    const Field *params = models->findField(QStringLiteral("Parameters"));
    edModelNote->setText(row >= 0 && params ? models->valueAt(row, params->index()).toString() : QString());
}

void TCompleteSetEditDG::showDateText() {
    const Field *date = taData->findField(QStringLiteral("DateManufact"));
    edDateManText->setText(date && taData->isActive() ? MonthYearText(date->value().toDate()) : QString());
}

void TCompleteSetEditDG::sbKindClick() {
    Field *kind = taData->findField(KindField);
    if (!kind)
        return;
    const int shown = lcKind->rowOfValue() >= 0 ? kind->asInt() : -1;
    if (TKindListDG::Run(shown, kind, m_type) && !kind->isNull()) {
        // A kind of another type: the kind box offers that type's kinds from now on.
        dmChain->setKind(kind->asInt());
        offerKindsOf(dmChain->KindType());
        kindChanged();
    }
}

void TCompleteSetEditDG::sbModelClick() {
    Field *model = taData->findField(ModelField);
    Field *kind = taData->findField(KindField);
    if (!model || !kind)
        return;
    const int shownKind = lcKind->rowOfValue() >= 0 ? kind->asInt() : -1;
    m_followKind = false;
    try {
        if (TModelListDG::Run(model->isNull() ? -1 : model->asInt(), model, shownKind) && !model->isNull()) {
            dmChain->setModel(model->asInt());
            offerKindsOf(dmChain->KindType());
            dmLookUp->SetKind(dmChain->Kind());
            m_shownKind = dmChain->Kind();
            SetFieldValue(*kind, dmChain->Kind());
        }
    } catch (...) {
        m_followKind = true;
        throw;
    }
    m_followKind = true;
    showModelNote();
}

void TCompleteSetEditDG::sbFindModelClick() {
    Field *model = taData->findField(ModelField);
    Field *kind = taData->findField(KindField);
    if (!model || !kind)
        return;
    const std::optional<KindChoice> found = TModelFindDG::Run(model);
    if (!found)
        return;
    const int foundKind = found->id;
    setVisual(false);
    try {
        offerKindsOf(found->type);
        dmLookUp->SetKind(foundKind);
        m_shownKind = foundKind;
        SetFieldValue(*kind, foundKind);
    } catch (...) {
        setVisual(true);
        throw;
    }
    setVisual(true);
    showModelNote();
}

void TCompleteSetEditDG::sbDocClick() {
    Field *doc = taData->findField(QStringLiteral("DocumentId"));
    if (!doc)
        return;
    TDocumentListDG::Run(doc);
    OpenWithParams(*dmLookUp->taDocument);
}

void TCompleteSetEditDG::btClearClick() {
    if (!taData->isActive() || (taData->isEmpty() && !taData->isEditing()))
        return;
    EnsureEditing(*taData);
    taData->fieldByName(QStringLiteral("DocumentId"))->clear();
    taData->fieldByName(QStringLiteral("DocumentPosition"))->clear();
}

void TCompleteSetEditDG::postData() {
    if (taData->isEditing())
        PostElementWithHistory(*taData, false);
}
