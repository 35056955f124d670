#include "network/fmNetUser.h"

#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "ui/Actions.h"
#include "ui/BusyCursor.h"
#include "ui/DataControls.h"
#include "ui/DataGrid.h"
#include "ui/EmptyNote.h"
#include "ui/ImageList.h"

#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

TNetUserFM::TNetUserFM(QWidget *parent) : HostedView(QStringLiteral("Сеть"), parent) {
    setObjectName(QStringLiteral("TNetUserFM"));
    Connection *cn = dmTessal ? &dmTessal->cnGeneral : nullptr;
    taDCUser = new DataSet(cn, this);
    taDCUser->setObjectName(QStringLiteral("taDCUser"));
    taDCUser->setCommand(QStringLiteral("GridDomainUser"), CommandType::StoredProc);
    taDCUser->setReadOnly(true);

    actions = new ActionList(this);
    auto act = [&](const char *name, const QString &text, const QString &hint, int image) {
        auto *a = new Action(this, QString::fromLatin1(name), text, hint, image);
        actions->add(a);
        return a;
    };
    auto open = [this] { return taDCUser->isActive(); };
    auto hasRows = [this] { return HasRecords(*taDCUser); };
    acCheckUser =
        act("acCheckUser", QString(), QStringLiteral("Перенос учётных записей из домена."), Img::Scan);
    acCheckUser->setEnabledWhen(open);
    acCheckUser->onTrigger([this] {
        if (runScan)
            runScan();
        RefreshDCUser(-1);
    });
    acUserInsert = act("acUserInsert", QStringLiteral("Добавить"), QString(), Img::Add);
    acUserInsert->setEnabledWhen(open);
    acUserInsert->onTrigger([this] {
        int saved = -1;
        if (runUserEdit && runUserEdit(-1, &saved))
            RefreshDCUser(saved);
    });
    acUserEdit = act("acUserEdit", QStringLiteral("Изменить"), QString(), Img::Edit);
    acUserEdit->setEnabledWhen(hasRows);
    acUserEdit->onTrigger([this] {
        if (runUserEdit && runUserEdit(currentId(), nullptr))
            RefreshDCUser(-1);
    });
    acUserDelete = act("acUserDelete", QStringLiteral("Удалить"), QString(), Img::Delete);
    acUserDelete->setEnabledWhen(hasRows);
    acUserDelete->onTrigger([this] { deleteUser(); });
    acRefresh =
        act("acRefresh", QStringLiteral("Обновить"), QStringLiteral("Обновление документов"), Img::Refresh);
    acRefresh->onTrigger([this] { RefreshDCUser(-1); });
    acUserInfo = act("acUserInfo", QStringLiteral("Каркточка"), QString(), Img::Report);
    acUserInfo->setEnabledWhen([this, hasRows] { return viewReport && hasRows(); });
    acUserInfo->onTrigger([this] {
        viewReport(QStringLiteral("user.info&rs:Command=Render&ID=") + QString::number(currentId()));
    });
    asReportList = act("asReportList", QStringLiteral("Список пользователей"), QString(), Img::Report);
    asReportList->setEnabledWhen([this] { return bool(viewReport); });
    asReportList->onTrigger([this] { viewReport(QStringLiteral("user.list")); });
    acReportMail = act("acReportMail", QStringLiteral("Внешние почтовые ящики"), QString(), Img::Report);
    acReportMail->setEnabledWhen([this] { return bool(viewReport); });
    acReportMail->onTrigger([this] { viewReport(QStringLiteral("mail.box")); });
    acGoWorkplace =
        act("acGoWorkplace", QStringLiteral("Место"), QStringLiteral("Рабочее место."), Img::Workplace);
    acGoWorkplace->setEnabledWhen([this, hasRows] {
        return goPlacement && hasRows() && !taDCUser->fieldByName(QStringLiteral("WorkplaceID"))->isNull();
    });
    acGoWorkplace->onTrigger(
        [this] { goPlacement(QStringLiteral("W"), taDCUser->value(QStringLiteral("WorkplaceID")).toInt()); });
    acUserInstall = act("acUserInstall", QStringLiteral("Бланк"),
                        QStringLiteral("Бланк конфигурирования компьютера."), Img::Check);
    acUserInstall->setEnabledWhen(hasRows);
    acUserInstall->onTrigger([this] {
        if (runUserInstall)
            runUserInstall(currentId());
    });
    acDomains = act("acDomains", QStringLiteral("Контроллеры домена"),
                    QStringLiteral("Домены, учётные записи которых переносятся в список."), Img::Net);
    acDomains->onTrigger([this] {
        if (runDomains)
            runDomains();
    });
    acChecklistDefaults =
        act("acChecklistDefaults", QStringLiteral("Строки бланка по умолчанию"),
            QStringLiteral("Строки, с которыми создаётся бланк настройки компьютера."), Img::Check);
    acChecklistDefaults->onTrigger([this] {
        if (runChecklistDefaults)
            runChecklistDefaults();
    });
    acIgnored = act("acIgnored", QStringLiteral("Убранные учётные записи"),
                    QStringLiteral("Учётные записи, убранные из списка; их можно вернуть."), Img::User);
    acIgnored->onTrigger([this] {
        if (runIgnored)
            runIgnored();
        RefreshDCUser(-1);
    });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    tbMain = viewToolBar(this, "tbMain");
    addToolButton(tbMain, acCheckUser);
    tbMain->addSeparator();
    for (Action *a : {acUserInsert, acUserEdit, acUserDelete})
        addToolButton(tbMain, a);
    tbMain->addSeparator();
    addToolButton(tbMain, acRefresh);
    tbMain->addSeparator();
    addToolButton(tbMain, acUserInfo);
    tbMain->addSeparator();
    pmReport = new QMenu(QStringLiteral("Отчёты"), this);
    pmReport->setObjectName(QStringLiteral("pmReport"));
    pmReport->addAction(asReportList);
    pmReport->addSeparator();
    pmReport->addAction(acReportMail);
    auto *reports = new QToolButton(tbMain);
    reports->setObjectName(QStringLiteral("btReports"));
    reports->setIcon(imageIcon(Img::Report));
    reports->setToolTip(QStringLiteral("Отчёты"));
    reports->setMenu(pmReport);
    reports->setPopupMode(QToolButton::InstantPopup);
    tbMain->addWidget(reports);
    tbMain->addSeparator();
    addToolButton(tbMain, acGoWorkplace);
    // The checklist has no place of its own in the layout: it sits at the end of the toolbar and
    // in the list's context menu.
    tbMain->addSeparator();
    addToolButton(tbMain, acUserInstall);
    tbMain->addSeparator();
    pmSetup = new QMenu(QStringLiteral("Настройка"), this);
    pmSetup->setObjectName(QStringLiteral("pmSetup"));
    pmSetup->addActions({acDomains, acChecklistDefaults, acIgnored});
    auto *setup = new QToolButton(tbMain);
    setup->setObjectName(QStringLiteral("btSetup"));
    setup->setIcon(imageIcon(Img::Edit));
    setup->setToolTip(
        QStringLiteral("Настройка: контроллеры домена, строки бланка, убранные учётные записи"));
    setup->setMenu(pmSetup);
    setup->setPopupMode(QToolButton::InstantPopup);
    tbMain->addWidget(setup);
    layout->addWidget(tbMain);

    grUsers = new DataGrid(this);
    grUsers->setObjectName(QStringLiteral("grUsers"));
    grUsers->setColumns(
        {makeColumn(QStringLiteral("Login"), QStringLiteral("Уч. запись"), 120),
         makeColumn(QStringLiteral("Domain"), QStringLiteral("Домен"), 100),
         makeColumn(QStringLiteral("Name"), QStringLiteral("Имя"), 100, true),
         makeColumn(QStringLiteral("Workplace"), QStringLiteral("Рабочее место"), 100, true),
         makeColumn(QStringLiteral("Phone"), QStringLiteral("Тл."), 48, false, Qt::AlignCenter)});
    grUsers->setDataSet(taDCUser);
    pmUsers = new QMenu(this);
    pmUsers->setObjectName(QStringLiteral("pmUsers"));
    pmUsers->addActions({acUserEdit, acUserInstall, acUserInfo, acGoWorkplace});
    grUsers->addExportCommands(pmUsers);
    grUsers->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grUsers, &QWidget::customContextMenuRequested, this, [this](const QPoint &p) {
        actions->updateAll(); // the click may have moved the current row since the last idle moment
        pmUsers->popup(grUsers->viewport()->mapToGlobal(p));
    });
    layout->addWidget(grUsers, 1);
    new EmptyNote(grUsers, [this] {
        return taDCUser->isActive()
                   ? QStringLiteral("Пользователей нет: добавьте их кнопкой + «Добавить» или "
                                    "перенесите учётные записи из домена.")
                   : QString();
    });

    // The detail panel of the current row.
    pnDetail = new QFrame(this);
    pnDetail->setObjectName(QStringLiteral("pnDetail"));
    pnDetail->setFrameShape(QFrame::StyledPanel);
    pnDetail->setFixedSize(448, 148);
    auto *grid = new QGridLayout(pnDetail);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    auto field = [&](const char *name, bool secret) {
        auto *t = new DBText(taDCUser, QString::fromLatin1(name), pnDetail);
        t->setObjectName(QStringLiteral("tx") + QString::fromLatin1(name));
        t->setTextInteractionFlags(Qt::TextSelectableByMouse);
        if (secret)
            t->setFont(fixed);
        return t;
    };
    auto row = [&](int r, const QString &label, QWidget *a, QWidget *b = nullptr) {
        grid->addWidget(new QLabel(label, pnDetail), r, 0);
        grid->addWidget(a, r, 1, 1, b ? 1 : 2);
        if (b)
            grid->addWidget(b, r, 2);
    };
    row(0, QStringLiteral("Учётная запись и пароль"), field("Login", false), field("Pass", true));
    row(1, QStringLiteral("Наименование"), field("Name", false));
    row(2, QStringLiteral("Почтовый ящик и пароль"), field("EMail", false), field("MailPass", true));
    row(3, QStringLiteral("Группа"), field("EMailGroup", false));
    row(4, QStringLiteral("Учётная запись SKYPE"), field("SkypeLogin", false), field("SkypePass", true));
    pnDetail->hide();
    layout->addWidget(pnDetail);
    connect(grUsers, &DataGrid::rowDoubleClicked, this,
            [this] { pnDetail->setVisible(!pnDetail->isVisible()); });
}

int TNetUserFM::currentId() const {
    return taDCUser->value(QStringLiteral("ID")).toInt();
}

QString TNetUserFM::currentCaption() const {
    auto text = [this](const char *f) {
        return taDCUser->value(QString::fromLatin1(f)).toString().trimmed();
    };
    return text("Domain") + u'/' + text("Login") + QStringLiteral(": ") + text("Name");
}

void TNetUserFM::RefreshDCUser(int ID) {
    calls << QStringLiteral("RefreshDCUser(%1)").arg(ID);
    BusyCursor busy;
    if (ID == -1 && HasRecords(*taDCUser))
        ID = currentId();
    OpenWithParams(*taDCUser);
    if (!taDCUser->locate(QStringLiteral("ID"), ID))
        taDCUser->first();
}

void TNetUserFM::RefreshWorkplace(int ID) {
    calls << QStringLiteral("RefreshWorkplace(%1)").arg(ID);
    if (taDCUser->isActive() && !taDCUser->locate(QStringLiteral("WorkplaceID"), ID))
        taDCUser->first();
}

void TNetUserFM::deleteUser() {
    if (!ConfirmDelete(currentCaption()))
        return;
    DataSet sp(taDCUser->connection());
    sp.setCommand(QStringLiteral("IgnoreDomainUser;1"), CommandType::StoredProc);
    sp.setParameterValue(QStringLiteral("@ID"), currentId());
    sp.execProc();
    taDCUser->prior();
    RefreshDCUser(-1);
}

TNetUserFM::~TNetUserFM() {
    EndEmptyNotes(this);
}
