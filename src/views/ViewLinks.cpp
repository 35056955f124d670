#include "ViewLinks.h"

#include "DataSet.h"
#include "Reports.h"
#include "TessalADO.h"
#include "dgDocumentEdit.h"
#include "dgDocumentKindList.h"
#include "dgElementEdit.h"
#include "dgElementMoveList.h"
#include "dgFirmList.h"
#include "dgKindList.h"
#include "dgModelList.h"
#include "dgTrademarkList.h"
#include "fmDocumentList.h"
#include "fmLayout.h"
#include "fmMain.h"
#include "fmModelList.h"

namespace {

// The key a saved edit dialog stands on; -1 when it has none.
int savedKeyOf(const TBaseEditDG &dg, const QString &field) {
    return currentKey(*dg.taData, field);
}

} // namespace

ViewDialogs &viewDialogs() {
    static ViewDialogs dialogs{
        [](int compSet, int device, const QString &kindType, int *savedKey, int *savedModel) {
            if (!TCompleteSetEditDG::Run(compSet, device, kindType))
                return false;
            const TCompleteSetEditDG &dg = *TCompleteSetEditDG::Instance();
            if (savedKey)
                *savedKey = savedKeyOf(dg, QStringLiteral("IdComponent"));
            if (savedModel)
                *savedModel = savedKeyOf(dg, QStringLiteral("CmplIdModel"));
            return true;
        },
        [](int compSet) { TElementMoveListDG::Run(compSet); },
        [](int id, const QString &kind) { TKindListDG::Run(id, nullptr, kind); },
        [](int model, int kind) {
            TModelListDG::Run(model, nullptr, kind);
            return currentKey(*TModelListDG::Instance()->taModel, QStringLiteral("IdModel"));
        },
        [](int id) { TFirmListDG::Run(id, nullptr); },
        [](int doc, int *savedKey) {
            if (!TDocumentEditDG::Run(doc))
                return false;
            if (savedKey)
                *savedKey = savedKeyOf(*TDocumentEditDG::Instance(), QStringLiteral("IdDocument"));
            return true;
        },
        [](int id) { TDocumentKindListDG::Run(id, nullptr); },
        [](int id) { TTrademarkListDG::Run(id, nullptr); },
    };
    return dialogs;
}

bool RunCompleteSetEdit(int compSet, int device, const QString &kindType, int *savedKey, int *savedModel) {
    const auto &run = viewDialogs().completeSetEdit;
    return run && run(compSet, device, kindType, savedKey, savedModel);
}

void RunElementMoveList(int compSet) {
    if (const auto &run = viewDialogs().elementMoveList)
        run(compSet);
}

void RunKindList(int id, const QString &kind) {
    if (const auto &run = viewDialogs().kindList)
        run(id, kind);
}

int RunModelList(int model, int kind) {
    const auto &run = viewDialogs().modelList;
    return run ? run(model, kind) : -1;
}

void RunFirmList(int id) {
    if (const auto &run = viewDialogs().firmList)
        run(id);
}

bool RunDocumentEdit(int doc, int *savedKey) {
    const auto &run = viewDialogs().documentEdit;
    return run && run(doc, savedKey);
}

void RunDocumentKindList(int id) {
    if (const auto &run = viewDialogs().documentKindList)
        run(id);
}

void RunTrademarkList(int id) {
    if (const auto &run = viewDialogs().trademarkList)
        run(id);
}

void GoPlacementNode(const QString &kind, int id) {
    if (MainFM)
        if (TLayoutMainFM *view = MainFM->showLayout())
            view->FindNode(kind, id);
}

void GoPlacementAny(const QString &kind, int id) {
    if (MainFM)
        if (TLayoutMainFM *view = MainFM->showLayout())
            view->FindAny(kind, id);
}

void GoModelComponent(int component) {
    if (MainFM)
        if (TModelListFM *view = MainFM->showModel())
            view->RefreshComponent(component);
}

void GoDocument(int id, int position) {
    if (MainFM)
        if (TDocumentListFM *view = MainFM->showDocument())
            view->RefreshDoc(id, position);
}

void GoDocumentComponent(int component) {
    if (MainFM)
        if (TDocumentListFM *view = MainFM->showDocument())
            view->RefreshComponent(component);
}

void ViewReportLink(const QString &report) {
    if (MainFM)
        MainFM->ViewReport(report);
}

std::function<QVariant(const DataSet &)> elementCode(const QString &keyField) {
    return [keyField](const DataSet &ds) -> QVariant {
        const Field *id = ds.findField(keyField);
        if (!id || id->isNull())
            return {};
        return ElementCodeText(id->asInt());
    };
}

int currentKey(const DataSet &ds, const QString &field) {
    if (!HasRecords(ds) || ds.recNo() < 0)
        return -1;
    const Field *f = ds.findField(field);
    return f && !f->isNull() ? f->asInt() : -1;
}
