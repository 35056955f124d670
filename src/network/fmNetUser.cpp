#include "fmNetUser.h"

TNetUserFM::TNetUserFM(QWidget *parent) : HostedView(QStringLiteral("Сеть"), parent)
{
    setObjectName(QStringLiteral("TNetUserFM"));
}

void TNetUserFM::RefreshDCUser(int ID) { calls << QStringLiteral("RefreshDCUser(%1)").arg(ID); }

void TNetUserFM::RefreshWorkplace(int ID) { calls << QStringLiteral("RefreshWorkplace(%1)").arg(ID); }


