#include "ViewWiring.h"

#include "ViewLinks.h"
#include "dgComputerPing.h"
#include "dgDepartmentEdit.h"
#include "dgDeviceEdit.h"
#include "dgDocumentEdit.h"
#include "dgDocumentKindList.h"
#include "dgElementEdit.h"
#include "dgElementMoveEdit.h"
#include "dgElementMoveList.h"
#include "dgFirmList.h"
#include "dgKindList.h"
#include "dgModelList.h"
#include "dgNetSetup.h"
#include "dgTrademarkList.h"
#include "dgUserDCScan.h"
#include "dgUserEdit.h"
#include "dgUserInstall.h"
#include "dgWorkplaceEdit.h"
#include "fmLayout.h"
#include "fmNetComputer.h"
#include "fmNetUser.h"

namespace {

// The key a saved edit dialog stands on; -1 when it has none.
int savedKeyOf(const TBaseEditDG &dg, const QString &field) {
    return currentKey(*dg.taData, field);
}

} // namespace

void ConnectDialogs(ViewLinks &links) {
    links.completeSetEdit = [](int compSet, int device, const QString &kindType, int *savedKey,
                               int *savedModel) {
        if (!TCompleteSetEditDG::Run(compSet, device, kindType))
            return false;
        const TCompleteSetEditDG &dg = *TCompleteSetEditDG::Instance();
        if (savedKey)
            *savedKey = savedKeyOf(dg, QStringLiteral("IdComponent"));
        if (savedModel)
            *savedModel = savedKeyOf(dg, QStringLiteral("CmplIdModel"));
        return true;
    };
    links.elementMoveList = [](int compSet) { TElementMoveListDG::Run(compSet); };
    links.kindList = [](int id, const QString &kind) { TKindListDG::Run(id, nullptr, kind); };
    links.modelList = [](int model, int kind) {
        TModelListDG::Run(model, nullptr, kind);
        return currentKey(*TModelListDG::Instance()->taModel, QStringLiteral("IdModel"));
    };
    links.firmList = [](int id) { TFirmListDG::Run(id, nullptr); };
    links.documentEdit = [](int doc, int *savedKey) {
        if (!TDocumentEditDG::Run(doc))
            return false;
        if (savedKey)
            *savedKey = savedKeyOf(*TDocumentEditDG::Instance(), QStringLiteral("IdDocument"));
        return true;
    };
    links.documentKindList = [](int id) { TDocumentKindListDG::Run(id, nullptr); };
    links.trademarkList = [](int id) { TTrademarkListDG::Run(id, nullptr); };
}

void ConnectDialogs(TLayoutMainFM &view) {
    view.runDepartmentEdit = [](int dprt, int higher, int *key) {
        return TDepartmentEditDG::Run(dprt, higher, key);
    };
    view.runWorkplaceEdit = [](int work, int dprt, int *key) { return TWorkplaceEditDG::Run(work, dprt, key); };
    view.runDeviceEdit = [](int device, int place) { return TDeviceEditDG::Run(device, place); };
    view.runElementEdit = [](int compSet, int device, const QString &type) {
        return TCompleteSetEditDG::Run(compSet, device, type);
    };
    view.runElementMoveList = [](int compSet) { return TElementMoveListDG::Run(compSet); };
    view.runElementMove = [](int compSet, int device) { return TElementMoveEditDG::Run(compSet, device); };
    ConnectDialogs(view.links);
}

void ConnectDialogs(TNetComputerFM &view) {
    view.runPing = [] { TComputerPingDG::Run(); };
}

void ConnectDialogs(TNetUserFM &view) {
    view.runScan = [] { TUserDCScanDG::Run(); };
    view.runUserEdit = [](int id, int *saved) { return TUserEditDG::Run(id, saved); };
    view.runUserInstall = [](int id) { TUserInstallDG::Run(id); };
    view.runDomains = [] { TDomainControllerListDG::Run(); };
    view.runChecklistDefaults = [] { TUserInstallDefaultListDG::Run(); };
    view.runIgnored = [] { TUserIgnoreListDG::Run(); };
}
