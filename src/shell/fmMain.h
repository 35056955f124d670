#pragma once

#include "data/DataSet.h"
#include "data/Settings.h"

#include <QHash>
#include <QWidget>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QTabWidget;
class HostedView;
class TLayoutMainFM;
class TModelListFM;
class TDocumentListFM;
class TChangeListFM;
class TNetComputerFM;
class TNetUserFM;
class TJournalFM;
class TOverviewFM;
class TSearchFM;
struct ViewLinks;

// The main window: one tab per view, each view created the first time its tab is shown.
class TMainFM : public QWidget {
    Q_OBJECT
public:
    explicit TMainFM(QWidget *parent = nullptr);
    ~TMainFM() override;

    QTabWidget *pcMain;
    QWidget *tsLayout, *tsModel, *tsDocument, *tsChage, *tsNet, *tsUser, *tsSearch, *tsVersioan;
    QWidget *tsJournal;  // the change journal of the whole database
    QWidget *tsOverview; // the overview in charts
    QLabel *laFile, *laVersion;
    QPlainTextEdit *mmChange;
    DataSet *taVersionChange;

    // The hosted views; null until their tab was first shown.
    TLayoutMainFM *layoutView() const { return m_layout; }
    TModelListFM *modelView() const { return m_model; }
    TDocumentListFM *documentView() const { return m_document; }
    TChangeListFM *changeView() const { return m_change; }
    TNetComputerFM *netView() const { return m_net; }
    TNetUserFM *userView() const { return m_user; }
    TSearchFM *searchView() const { return m_search; }
    TOverviewFM *overviewView() const { return m_overview; }

    // Makes the tab the current page (creating its view) and returns the view.
    TModelListFM *showModel();
    TDocumentListFM *showDocument();
    TNetComputerFM *showNet();
    TNetUserFM *showUser();
    TSearchFM *showSearch();
    TLayoutMainFM *showLayout();

    // Opens a report: the report text as the report server takes it (see ReportLinks.h).
    void ViewReport(const QString &Report);

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void FormShow();
    void TabShow(int index);
    void loadSettings();
    void saveSettings();
    template <class View>
    View *host(View *&slot, QWidget *page, const std::function<void(View *)> &afterCreate);
    void refreshShownAgain(QWidget *page);
    // Hands a view its ways out: the dialogs, the jumps into the other tabs and the reports.
    void connectLinks(ViewLinks &links);
    void connectLayout(TLayoutMainFM *view);
    QHash<QWidget *, quint64> m_writesSeen; // per tab, the committed writes when it was last shown

    PropertyStore stMain{QStringLiteral("Main.Form")};
    bool m_shown = false;
    bool m_saved = false;
    TLayoutMainFM *m_layout = nullptr;
    TModelListFM *m_model = nullptr;
    TDocumentListFM *m_document = nullptr;
    TChangeListFM *m_change = nullptr;
    TNetComputerFM *m_net = nullptr;
    TNetUserFM *m_user = nullptr;
    TSearchFM *m_search = nullptr;
    TJournalFM *m_journal = nullptr;
    TOverviewFM *m_overview = nullptr;
};

extern TMainFM *MainFM;
