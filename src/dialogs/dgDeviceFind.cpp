#include "dialogs/dgDeviceFind.h"

#include "data/DataSet.h"
#include "data/TessalADO.h"
#include "model/dmLookUpData.h"
#include "ui/DataGrid.h"

TDeviceFindDG::TDeviceFindDG() : TBASEFindDG(nullptr, nullptr) {
    setObjectName(QStringLiteral("DeviceFindDG"));
    setFindProcedure(QStringLiteral("FindDevice;1"));
    setSection(QStringLiteral("Device.Find"));
    setPlaceholder(QStringLiteral("Наименование, рабочее место (расширенный поиск)"));

    GridColumn name;
    name.field = QStringLiteral("Name");
    name.width = 200;
    name.stretch = true;
    grList->setColumns({name});
}

bool TDeviceFindDG::Run(Field *Field) {
    return Instance()->runFind(Field);
}

void TDeviceFindDG::btBackClick() {
    flushFind(); // the device chosen is one of the rows the text typed so far finds
    if (HasRecords(*taFind) && dmLookUp) {
        // The devices of the chosen device's department (@R = 1: the key is a device).
        const int device = taFind->value(QStringLiteral("ID")).toInt();
        OpenWithParams(*dmLookUp->taDevice, {TypedValue::Int(device), TypedValue::Int(1)});
    }
    TBASEFindDG::btBackClick();
}
