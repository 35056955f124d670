#include "network/fmNetComputer.h"

#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "ui/Actions.h"
#include "ui/BusyCursor.h"
#include "ui/DataGrid.h"
#include "ui/EmptyNote.h"
#include "ui/ImageList.h"

#include <QToolBar>
#include <QVBoxLayout>

QString TNetComputerFM::workplaceKeyField() {
    return QStringLiteral("IDWorkpla") + QChar(0x0441) + u'e';
}

TNetComputerFM::TNetComputerFM(QWidget *parent) : HostedView(QStringLiteral("Сеть"), parent) {
    setObjectName(QStringLiteral("TNetComputerFM"));
    Connection *cn = dmTessal ? &dmTessal->cnGeneral : nullptr;

    taNode = new DataSet(cn, this);
    taNode->setObjectName(QStringLiteral("taNode"));
    taNode->setCommand(QStringLiteral("GridNodeList;1"), CommandType::StoredProc);
    taNode->setReadOnly(true);
    taUser = new DataSet(cn, this);
    taUser->setObjectName(QStringLiteral("taUser"));
    taUser->setCommand(QStringLiteral("EXECUTE GridNodeUserList :ID"));
    taUser->setReadOnly(true);
    taUser->setMaster(taNode, {QStringLiteral("ID")});

    actions = new ActionList(this);
    auto act = [&](const char *name, const QString &text, const QString &hint, int image) {
        auto *a = new Action(this, QString::fromLatin1(name), text, hint, image);
        a->setProperty("category", QStringLiteral("Device"));
        actions->add(a);
        return a;
    };
    acPing = act("acPing", QStringLiteral("Ping"), QStringLiteral("Сканирование компьютеров."), Img::Ping);
    acPing->onTrigger([this] {
        if (runPing)
            runPing();
    });
    acRefresh = act("acRefresh", QStringLiteral("Обновить"), QStringLiteral("Обновление."), Img::Refresh);
    acRefresh->setEnabledWhen([this] { return taNode->isActive(); });
    acRefresh->onTrigger(
        [this] { RefreshNet(taNode->isEmpty() ? -1 : taNode->value(QStringLiteral("ID")).toInt()); });
    acReport = act("acReport", QString(), QStringLiteral("Список компьютеров."), Img::Report);
    acReport->setEnabledWhen([this] { return bool(viewReport); });
    acReport->onTrigger([this] { viewReport(QStringLiteral("computer.list")); });
    acGoDevice = act("acGoDevice", QStringLiteral("Место"), QStringLiteral("Рабочее место."), Img::Workplace);
    acGoDevice->setEnabledWhen([this] { return goPlacement && HasRecords(*taNode); });
    acGoDevice->onTrigger(
        [this] { goPlacement(QStringLiteral("V"), taNode->value(QStringLiteral("ID")).toInt()); });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    tbMain = viewToolBar(this, "tbMain");
    addToolButton(tbMain, acPing);
    tbMain->addSeparator();
    addToolButton(tbMain, acRefresh);
    tbMain->addSeparator();
    addToolButton(tbMain, acReport);
    tbMain->addSeparator();
    addToolButton(tbMain, acGoDevice);
    layout->addWidget(tbMain);

    grDevice = new DataGrid(this);
    grDevice->setObjectName(QStringLiteral("grDevice"));
    grDevice->setColumns(
        {makeColumn(QStringLiteral("Domain"), QStringLiteral("Имя"), 60),
         makeColumn(QStringLiteral("Workplace"), QStringLiteral("Рабочее место"), 134, true),
         makeColumn(QStringLiteral("Phone"), QStringLiteral("Тл."), 48, false, Qt::AlignCenter)});
    grDevice->setDataSet(taNode);
    grDevice->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(grDevice, 1);
    new EmptyNote(grDevice, [this] {
        return taNode->isActive()
                   ? QStringLiteral("Компьютеров с доменным именем нет. Впишите «Доменное имя» в "
                                    "карточке устройства на вкладке «Размещение техники».")
                   : QString();
    });

    grUser = new DataGrid(this);
    grUser->setObjectName(QStringLiteral("grUser"));
    grUser->setColumns(
        {makeColumn(QStringLiteral("Login"), QStringLiteral("Уч. запись"), 90),
         makeColumn(QStringLiteral("Name"), QStringLiteral("Пользователь"), 155, true),
         makeColumn(QStringLiteral("Pass"), QStringLiteral("Пароль"), 60, false, Qt::AlignCenter)});
    grUser->setDataSet(taUser);
    grUser->setFixedHeight(87);
    layout->addWidget(grUser);

    // The users follow the computers from now on.
    if (cn)
        Guarded([&] { taUser->open(); });
}

void TNetComputerFM::RefreshNet(int ID) {
    calls << QStringLiteral("RefreshNet(%1)").arg(ID);
    BusyCursor busy;
    OpenWithParams(*taNode);
    if (!taNode->locate(QStringLiteral("ID"), ID))
        taNode->first();
}

void TNetComputerFM::RefreshWorkPlace(int ID) {
    calls << QStringLiteral("RefreshWorkPlace(%1)").arg(ID);
    if (taNode->isActive())
        taNode->locate(workplaceKeyField(), ID);
}

TNetComputerFM::~TNetComputerFM() {
    EndEmptyNotes(this);
}
