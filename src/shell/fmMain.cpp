#include "shell/fmMain.h"

#include "data/Connection.h"
#include "data/TessalDialog.h"
#include "data/TessalVersionInfo.h"
#include "data/dmTessalData.h"
#include "network/dgUserInstall.h"
#include "network/fmNetComputer.h"
#include "network/fmNetUser.h"
#include "placement/fmLayout.h"
#include "shell/BackupCommand.h"
#include "shell/ReportLinks.h"
#include "shell/VersionCheck.h"
#include "shell/ViewWiring.h"
#include "ui/Actions.h"
#include "ui/Fonts.h"
#include "ui/ImageList.h"
#include "views/ViewLinks.h"
#include "views/fmChangeList.h"
#include "views/fmDocumentList.h"
#include "views/fmJournal.h"
#include "views/fmModelList.h"
#include "views/fmOverview.h"
#include "views/fmSearch.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

TMainFM *MainFM = nullptr;

namespace {

QWidget *addPage(QTabWidget *tabs, const char *name, const QString &caption, int image) {
    auto *page = new QWidget;
    page->setObjectName(QString::fromLatin1(name));
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    tabs->addTab(page, dmTessal ? ToolBarImages().icon(image) : QIcon(), caption);
    return page;
}

} // namespace

TMainFM::TMainFM(QWidget *parent) : QWidget(parent) {
    MainFM = this;
    setObjectName(QStringLiteral("TMainFM"));
    setWindowTitle(QStringLiteral("Вычислительная техника"));
    setFont(NamedFont(QStringLiteral("Tahoma"), 12));
    resize(1107, 695);
    // The setup checklist prints through its own address rule.
    TUserInstallDG::viewReport = [](const QString &) {
        OpenChecklistReport(TUserInstallDG::Instance()->taUser->value(QStringLiteral("User")).toInt());
    };

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(3, 3, 3, 3);
    pcMain = new QTabWidget(this);
    pcMain->setObjectName(QStringLiteral("pcMain"));
    pcMain->setStyleSheet(QStringLiteral("QTabBar::tab { height: 24px; }"));
    outer->addWidget(pcMain);
    AddBackupCommand(this);

    tsLayout = addPage(pcMain, "tsLayout", QStringLiteral("Размещение техники"), Img::Layout);
    tsModel = addPage(pcMain, "tsModel", QStringLiteral("Модель"), Img::Model);
    tsDocument = addPage(pcMain, "tsDocument", QStringLiteral("Документ"), Img::Document);
    tsChage = addPage(pcMain, "tsChage", QStringLiteral("Расходные материалы"), Img::Change);
    tsNet = addPage(pcMain, "tsNet", QStringLiteral("Сеть компьютеров"), Img::Net);
    tsUser = addPage(pcMain, "tsUser", QStringLiteral("Пользователи"), Img::User);
    tsSearch = addPage(pcMain, "tsSearch", QStringLiteral("Поиск"), Img::Search);
    tsVersioan = addPage(pcMain, "tsVersioan", QStringLiteral("Версия"), Img::Version);
    tsJournal = addPage(pcMain, "tsJournal", QStringLiteral("Журнал изменений"), Img::Edit);
    tsOverview = addPage(pcMain, "tsOverview", QStringLiteral("Сводка"), Img::Report);

    // The version tab: what changed in the newest version.
    auto *grid = new QGridLayout;
    grid->setContentsMargins(6, 6, 6, 6);
    laFile = new QLabel(QStringLiteral("Изменения в программе:"), tsVersioan);
    laFile->setObjectName(QStringLiteral("laFile"));
    laVersion = new QLabel(QStringLiteral("Версия"), tsVersioan);
    laVersion->setObjectName(QStringLiteral("laVersion"));
    laVersion->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    mmChange = new QPlainTextEdit(tsVersioan);
    mmChange->setObjectName(QStringLiteral("mmChange"));
    mmChange->setReadOnly(true);
    grid->addWidget(laFile, 0, 0);
    grid->addWidget(laVersion, 0, 1);
    grid->addWidget(mmChange, 1, 0, 1, 2);
    static_cast<QVBoxLayout *>(tsVersioan->layout())->addLayout(grid);

    taVersionChange = new DataSet(dmTessal ? &dmTessal->cnGeneral : nullptr, this);
    taVersionChange->setObjectName(QStringLiteral("taVersionChange"));
    taVersionChange->setReadOnly(true);
    connect(taVersionChange, &DataSet::dataChanged, this, [this] {
        const Field *f =
            taVersionChange->isActive() ? taVersionChange->findField(QStringLiteral("Change")) : nullptr;
        mmChange->setPlainText(f ? f->asString() : QString());
    });

    connect(pcMain, &QTabWidget::currentChanged, this,
            [this](int index) { Guarded([&] { TabShow(index); }); });

    // The version step of the creation handler.
    Guarded([&] { laVersion->setText(VersionCaption(QStringLiteral("Версия "), true)); });
    bool updating = false;
    if (taVersionChange->connection())
        Guarded([&] { updating = CheckVersion(*taVersionChange); });
    ReportStart(laVersion->text(), updating);
}

TMainFM::~TMainFM() {
    if (!m_saved)
        Guarded([&] { saveSettings(); });
    if (MainFM == this)
        MainFM = nullptr;
}

void TMainFM::loadSettings() {
    if (!stMain.contains(QStringLiteral("<P>.Width")))
        return; // never saved: the design size and a centred window
    const int w = stMain.read(QStringLiteral("<P>.Width")).toInt();
    const int h = stMain.read(QStringLiteral("<P>.Height")).toInt();
    const int l = stMain.read(QStringLiteral("<P>.Left")).toInt();
    const int t = stMain.read(QStringLiteral("<P>.Top")).toInt();
    if (w > 100 && h > 100)
        resize(w, h);
    // A window saved on a screen that is no longer there comes back onto the primary one.
    const QScreen *screen = this->screen();
    if (!screen || screen->availableGeometry().intersects(QRect(l, t, w, h)))
        move(l, t);
}

void TMainFM::saveSettings() {
    stMain.write(QStringLiteral("<P>.Height"), height());
    stMain.write(QStringLiteral("<P>.Left"), x());
    stMain.write(QStringLiteral("<P>.PixelsPerInch"), logicalDpiY());
    stMain.write(QStringLiteral("<P>.Top"), y());
    stMain.write(QStringLiteral("<P>.Width"), width());
    m_saved = true;
}

void TMainFM::showEvent(QShowEvent *e) {
    if (!m_shown) {
        m_shown = true;
        Guarded([&] { loadSettings(); });
        Guarded([&] { FormShow(); });
    }
    QWidget::showEvent(e);
}

void TMainFM::closeEvent(QCloseEvent *e) {
    Guarded([&] { saveSettings(); });
    QWidget::closeEvent(e);
}

template <class View>
View *TMainFM::host(View *&slot, QWidget *page, const std::function<void(View *)> &afterCreate) {
    if (!slot) {
        slot = new View(page);
        page->layout()->addWidget(slot);
        if (afterCreate)
            afterCreate(slot);
    }
    slot->show();
    return slot;
}

void TMainFM::connectLinks(ViewLinks &links) {
    ConnectDialogs(links);
    links.placementNode = [this](const QString &kind, int id) { showLayout()->FindNode(kind, id); };
    links.placementAny = [this](const QString &kind, int id) { showLayout()->FindAny(kind, id); };
    links.modelComponent = [this](int component) {
        if (TModelListFM *view = showModel())
            view->RefreshComponent(component);
    };
    links.document = [this](int id, int position) {
        if (TDocumentListFM *view = showDocument())
            view->RefreshDoc(id, position);
    };
    links.documentComponent = [this](int component) {
        if (TDocumentListFM *view = showDocument())
            view->RefreshComponent(component);
    };
    links.net = [this](const QString &kind, int id) {
        TNetComputerFM *view = showNet();
        if (!view)
            return;
        if (kind == u"V")
            view->RefreshNet(id);
        else if (kind == u"W")
            view->RefreshWorkPlace(id);
    };
    links.userWorkplace = [this](int workplace) {
        if (TNetUserFM *view = showUser())
            view->RefreshWorkplace(workplace);
    };
    links.report = [this](const QString &report) { ViewReport(report); };
    links.change = [this](int model, int row) {
        pcMain->setCurrentWidget(tsChage);
        if (m_change)
            m_change->RefreshChange(model, row);
    };
}

void TMainFM::connectLayout(TLayoutMainFM *view) {
    ConnectDialogs(*view);
    connectLinks(view->links);
}

void TMainFM::FormShow() {
    host<TLayoutMainFM>(m_layout, tsLayout, [this](TLayoutMainFM *v) { connectLayout(v); });
    pcMain->setCurrentIndex(0);
}

void TMainFM::TabShow(int index) {
    QWidget *page = pcMain->widget(index);
    refreshShownAgain(page);
    if (page == tsModel)
        host<TModelListFM>(m_model, tsModel, [this](TModelListFM *v) { connectLinks(v->links); });
    else if (page == tsDocument)
        host<TDocumentListFM>(m_document, tsDocument, [this](TDocumentListFM *v) {
            connectLinks(v->links);
            v->RefreshDoc(-1, -1);
        });
    else if (page == tsChage)
        host<TChangeListFM>(m_change, tsChage, [this](TChangeListFM *v) { connectLinks(v->links); });
    else if (page == tsNet)
        host<TNetComputerFM>(m_net, tsNet, [this](TNetComputerFM *v) {
            ConnectDialogs(*v);
            v->goPlacement = [this](const QString &kind, int id) { showLayout()->FindNode(kind, id); };
            v->viewReport = [this](const QString &report) { ViewReport(report); };
            v->RefreshNet(-1);
        });
    else if (page == tsUser)
        host<TNetUserFM>(m_user, tsUser, [this](TNetUserFM *v) {
            ConnectDialogs(*v);
            v->goPlacement = [this](const QString &kind, int id) { showLayout()->FindNode(kind, id); };
            v->viewReport = [this](const QString &report) { ViewReport(report); };
            v->RefreshDCUser(-1);
        });
    else if (page == tsSearch)
        host<TSearchFM>(m_search, tsSearch, [this](TSearchFM *v) { connectLinks(v->links); });
    else if (page == tsJournal)
        host<TJournalFM>(m_journal, tsJournal, [this](TJournalFM *v) {
            connectLinks(v->links);
            Guarded([v] { v->Refresh(); });
        });
    else if (page == tsOverview)
        host<TOverviewFM>(m_overview, tsOverview, [this](TOverviewFM *v) {
            connectLinks(v->links);
            Guarded([v] { v->Refresh(); });
        });
}

// A view shown again reads its lists anew where it stands, so that what was changed in other tabs
// and dialogs meanwhile shows at once; the placement tree keeps its nodes, the set grid is reread.
void TMainFM::refreshShownAgain(QWidget *page) {
    // Only after something was written: rereading a large list costs a moment on every visit.
    const quint64 writes = Connection::committedWrites();
    const quint64 seen = m_writesSeen.value(page, writes);
    m_writesSeen.insert(page, writes);
    if (seen == writes)
        return;
    const auto trigger = [](Action *refresh) {
        if (refresh->isEnabled())
            refresh->trigger();
    };
    if (page == tsLayout && m_layout && m_layout->taSet->isActive())
        m_layout->ReopenSet();
    else if (page == tsModel && m_model)
        trigger(m_model->caElementRefresh);
    else if (page == tsDocument && m_document)
        trigger(m_document->acRefreshDoc);
    else if (page == tsChage && m_change)
        trigger(m_change->acRefreshDoc);
    else if (page == tsNet && m_net)
        trigger(m_net->acRefresh);
    else if (page == tsUser && m_user)
        trigger(m_user->acRefresh);
    else if (page == tsOverview && m_overview)
        Guarded([this] { m_overview->Refresh(); });
}

TLayoutMainFM *TMainFM::showLayout() {
    pcMain->setCurrentWidget(tsLayout);
    return host<TLayoutMainFM>(m_layout, tsLayout, [this](TLayoutMainFM *v) { connectLayout(v); });
}

TModelListFM *TMainFM::showModel() {
    pcMain->setCurrentWidget(tsModel);
    return m_model;
}

TDocumentListFM *TMainFM::showDocument() {
    pcMain->setCurrentWidget(tsDocument);
    return m_document;
}

TNetComputerFM *TMainFM::showNet() {
    pcMain->setCurrentWidget(tsNet);
    return m_net;
}

TNetUserFM *TMainFM::showUser() {
    pcMain->setCurrentWidget(tsUser);
    return m_user;
}

TSearchFM *TMainFM::showSearch() {
    pcMain->setCurrentWidget(tsSearch);
    return m_search;
}

void TMainFM::ViewReport(const QString &Report) {
    OpenReport(Report);
}
