#include "fmSearch.h"

TSearchFM::TSearchFM(QWidget *parent) : HostedView(QStringLiteral("Поиск"), parent)
{
    setObjectName(QStringLiteral("TSearchFM"));
}


