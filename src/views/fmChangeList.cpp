#include "fmChangeList.h"

TChangeListFM::TChangeListFM(QWidget *parent) : HostedView(QStringLiteral("Расходные материалы"), parent)
{
    setObjectName(QStringLiteral("TChangeListFM"));
}


