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
#include "dgHistory.h"
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

void ConnectDialogs(ViewLinks &links) {
    links.completeSetEdit = [](int compSet, int device, const QString &kindType, int *savedKey,
                               int *savedModel) {
        const std::optional<SavedElement> saved = TCompleteSetEditDG::Run(compSet, device, kindType);
        if (!saved)
            return false;
        if (savedKey)
            *savedKey = saved->element;
        if (savedModel)
            *savedModel = saved->model;
        return true;
    };
    links.elementMoveList = [](int compSet) { TElementMoveListDG::Run(compSet); };
    links.kindList = [](int id, const QString &kind) { TKindListDG::Run(id, nullptr, kind); };
    links.modelList = [](int model, int kind) { return TModelListDG::Run(model, nullptr, kind).current; };
    links.firmList = [](int id) { TFirmListDG::Run(id, nullptr); };
    links.documentEdit = [](int doc, int *savedKey) {
        const std::optional<int> saved = TDocumentEditDG::Run(doc);
        if (saved && savedKey)
            *savedKey = *saved;
        return saved.has_value();
    };
    links.documentKindList = [](int id) { TDocumentKindListDG::Run(id, nullptr); };
    links.trademarkList = [](int id) { TTrademarkListDG::Run(id, nullptr); };
    links.history = [](const QString &kind, int id, const QString &name) { THistoryDG::Run(kind, id, name); };
}

void ConnectDialogs(TLayoutMainFM &view) {
    view.runDepartmentEdit = [](int dprt, int higher, int *key) {
        return TDepartmentEditDG::Run(dprt, higher, key);
    };
    view.runWorkplaceEdit = [](int work, int dprt, int *key) {
        return TWorkplaceEditDG::Run(work, dprt, key);
    };
    view.runDeviceEdit = [](int device, int place) { return TDeviceEditDG::Run(device, place); };
    view.runElementEdit = [](int compSet, int device, const QString &type) {
        return TCompleteSetEditDG::Run(compSet, device, type).has_value();
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
