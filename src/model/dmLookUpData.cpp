#include "model/dmLookUpData.h"

#include "data/TessalADO.h"

TdmLookUp *dmLookUp = nullptr;

TdmLookUp::TdmLookUp(Connection &cn, QObject *parent) : QObject(parent) {
    dmLookUp = this;
    auto text = [&](const char *name, const char *sql) {
        DataSet *ds = make(name, QString::fromUtf8(sql), CommandType::Text);
        ds->setConnection(&cn);
        return ds;
    };
    auto proc = [&](const char *name, const char *procedure) {
        DataSet *ds = make(name, QString::fromUtf8(procedure), CommandType::StoredProc);
        ds->setConnection(&cn);
        return ds;
    };
    taDepart =
        text("taDepart", "select IdDepartment AS ID, DprtName AS Name  from Department order by DprtName");
    taWork = text("taWork", "select IdWorkplace AS ID, WrkpName AS Name from Workplace "
                            "where WrkpIdDepartment = :Department order by WrkpOrder");
    taClient = proc("taClient", "LookUpClient;1");
    taDocKind = text("taDocKind", "select * from DocKind order by Name");
    taKind = proc("taKind", "LookKind;1");
    taUser = text("taUser", "SELECT * FROM [User] ORDER BY [Login]");
    taDevice = proc("taDevice", "LookupDeviceAtDepartment;1");
    taDomain = text("taDomain", "select * from DomainController order by Domain");
    taModel = proc("taModel", "LookUpModel;1");
    taDocument = proc("taDocument", "LookUpDocument;1");
    taTrade = proc("taTrade", "LookUpTrademark;1");
    // Lists ordered by a name come in the program's one order of names (TessalString), whatever
    // the engine's collation makes of "order by": alphabetical, case and "ё" aside.
    taDepart->setSort(QStringLiteral("Name"));
    taDocKind->setSort(QStringLiteral("Name"));
    taUser->setSort(QStringLiteral("Login"));
    taDomain->setSort(QStringLiteral("Domain"));
}

TdmLookUp::~TdmLookUp() {
    if (dmLookUp == this)
        dmLookUp = nullptr;
}

DataSet *TdmLookUp::make(const char *name, const QString &command, CommandType type) {
    auto *ds = new DataSet(nullptr, this);
    ds->setObjectName(QString::fromLatin1(name));
    ds->setCommand(command, type);
    ds->setReadOnly(true);
    return ds;
}

void TdmLookUp::SetKindType(const QString &type) {
    OpenWithParams(*taKind, {TypedValue::Text(type)});
}

QString TdmLookUp::KindType() const {
    if (!taKind->isActive())
        return QString();
    for (const Parameter &p : taKind->parameters())
        if (p.direction == ParamDirection::Input)
            return p.value.toString();
    return QString();
}

void TdmLookUp::SetKind(int kind) {
    OpenWithParams(*taModel, {TypedValue::Int(kind)});
}

void TdmLookUp::SetWorkplace(int department) {
    OpenWithParams(*taWork, {TypedValue::Int(department)});
}
