#include "shell/ViewWiring.h"

#include "data/dmTessalData.h"
#include "dialogs/dgDepartmentEdit.h"
#include "dialogs/dgDeviceEdit.h"
#include "dialogs/dgDocumentEdit.h"
#include "dialogs/dgDocumentKindList.h"
#include "dialogs/dgElementEdit.h"
#include "dialogs/dgElementMoveEdit.h"
#include "dialogs/dgElementMoveList.h"
#include "dialogs/dgFirmList.h"
#include "dialogs/dgHistory.h"
#include "dialogs/dgKindList.h"
#include "dialogs/dgModelList.h"
#include "dialogs/dgTrademarkList.h"
#include "dialogs/dgWorkplaceEdit.h"
#include "network/dgComputerPing.h"
#include "network/dgNetSetup.h"
#include "network/dgUserDCScan.h"
#include "network/dgUserEdit.h"
#include "network/dgUserInstall.h"
#include "network/fmNetComputer.h"
#include "network/fmNetUser.h"
#include "placement/dgLabels.h"
#include "placement/fmLayout.h"
#include "placement/fmStocktake.h"
#include "shell/ReportLinks.h"
#include "ui/Seams.h"
#include "views/ViewLinks.h"

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
    links.labels = [](const QString &what, const QVector<int> &devices) {
        if (!dmTessal)
            return;
        TLabelsDG dialog(what, [devices](bool elements) {
            return ReadDeviceLabels(dmTessal->cnGeneral, devices, elements);
        });
        RunModal(dialog);
    };
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
    TStocktakeFM::ReportViewer() = [](const ReportTable &report) { ViewOwnReport(report); };
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
