#include "fmLayout.h"

TLayoutMainFM::TLayoutMainFM(QWidget *parent) : HostedView(QStringLiteral("Вычислительная техника"), parent)
{
    setObjectName(QStringLiteral("TLayoutMainFM"));
}

void TLayoutMainFM::FindNode(const QString &Kind, int ID) { calls << QStringLiteral("FindNode(%1, %2)").arg(Kind).arg(ID); }


