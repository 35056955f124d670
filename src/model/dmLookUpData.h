#pragma once

#include "data/DataSet.h"

// The short lists that selectors choose from (key `ID`, text `Name` unless a selector says
// otherwise). Every list is closed until its first user opens it; users reopen a list whenever
// they need it fresh.
class TdmLookUp : public QObject {
    Q_OBJECT
public:
    explicit TdmLookUp(Connection &cn, QObject *parent = nullptr);
    ~TdmLookUp() override;

    DataSet *taDepart;   // departments by name
    DataSet *taWork;     // workplaces of one department (parameter Department)
    DataSet *taClient;   // LookUpClient;1
    DataSet *taDocKind;  // document kinds by name
    DataSet *taKind;     // LookKind;1 for one type letter
    DataSet *taUser;     // users by login; selectors show DisplayLookup
    DataSet *taDevice;   // LookupDeviceAtDepartment;1
    DataSet *taDomain;   // domain controllers by domain
    DataSet *taModel;    // LookUpModel;1 for one kind
    DataSet *taDocument; // LookUpDocument;1
    DataSet *taTrade;    // LookUpTrademark;1

    void SetKindType(const QString &type);
    // The type letter taKind was last opened for, empty while it is closed.
    QString KindType() const;
    void SetKind(int kind);
    void SetWorkplace(int department);

private:
    DataSet *make(const char *name, const QString &command, CommandType type);
};

extern TdmLookUp *dmLookUp;
