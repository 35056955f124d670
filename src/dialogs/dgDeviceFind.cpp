#include "dgDeviceFind.h"

#include "DataGrid.h"
#include "DataSet.h"
#include "TessalADO.h"
#include "dmLookUpData.h"

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
    if (HasRecords(*taFind) && dmLookUp) {
        // The devices of the chosen device's department (@R = 1: the key is a device).
        const int device = taFind->value(QStringLiteral("ID")).toInt();
        OpenWithParams(*dmLookUp->taDevice, {TypedValue::Int(device), TypedValue::Int(1)});
    }
    TBASEFindDG::btBackClick();
}
