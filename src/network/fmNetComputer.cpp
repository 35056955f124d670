#include "fmNetComputer.h"

TNetComputerFM::TNetComputerFM(QWidget *parent) : HostedView(QStringLiteral("Сеть"), parent)
{
    setObjectName(QStringLiteral("TNetComputerFM"));
}

void TNetComputerFM::RefreshNet(int ID) { calls << QStringLiteral("RefreshNet(%1)").arg(ID); }

void TNetComputerFM::RefreshWorkPlace(int ID) { calls << QStringLiteral("RefreshWorkPlace(%1)").arg(ID); }


