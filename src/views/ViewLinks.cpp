#include "views/ViewLinks.h"

#include "data/DataSet.h"
#include "data/TessalADO.h"
#include "model/Reports.h"

namespace {

template <class F, class... Args> void call(const F &f, Args &&...args) {
    if (f)
        f(std::forward<Args>(args)...);
}

} // namespace

bool ViewLinks::RunCompleteSetEdit(int compSet, int device, const QString &kindType, int *savedKey,
                                   int *savedModel) const {
    return completeSetEdit && completeSetEdit(compSet, device, kindType, savedKey, savedModel);
}

void ViewLinks::RunElementMoveList(int compSet) const {
    call(elementMoveList, compSet);
}

void ViewLinks::RunKindList(int id, const QString &kind) const {
    call(kindList, id, kind);
}

int ViewLinks::RunModelList(int model, int kind) const {
    return modelList ? modelList(model, kind) : -1;
}

void ViewLinks::RunFirmList(int id) const {
    call(firmList, id);
}

bool ViewLinks::RunDocumentEdit(int doc, int *savedKey) const {
    return documentEdit && documentEdit(doc, savedKey);
}

void ViewLinks::RunDocumentKindList(int id) const {
    call(documentKindList, id);
}

void ViewLinks::RunTrademarkList(int id) const {
    call(trademarkList, id);
}

void ViewLinks::RunLabels(const QString &what, const QVector<int> &devices) const {
    call(labels, what, devices);
}

void ViewLinks::RunHistory(const QString &kind, int id, const QString &name) const {
    call(history, kind, id, name);
}

void ViewLinks::GoPlacementNode(const QString &kind, int id) const {
    call(placementNode, kind, id);
}

void ViewLinks::GoPlacementAny(const QString &kind, int id) const {
    call(placementAny, kind, id);
}

void ViewLinks::GoModelComponent(int component) const {
    call(modelComponent, component);
}

void ViewLinks::GoDocument(int id, int position) const {
    call(document, id, position);
}

void ViewLinks::GoDocumentComponent(int component) const {
    call(documentComponent, component);
}

void ViewLinks::GoNet(const QString &kind, int id) const {
    call(net, kind, id);
}

void ViewLinks::GoUserWorkplace(int workplace) const {
    call(userWorkplace, workplace);
}

void ViewLinks::GoChange(int model, int row) const {
    call(change, model, row);
}

void ViewLinks::ViewReportLink(const QString &text) const {
    call(report, text);
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
