#include "shell/Startup.h"

#include "data/Connection.h"
#include "data/Errors.h"
#include "data/Settings.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "dialogs/dgCommon.h"
#include "model/dmChainData.h"
#include "model/dmLookUpData.h"
#include "server/DemoData.h"
#include "server/Server.h"
#include "shell/BackupCommand.h"
#include "shell/VersionCheck.h"
#include "shell/fmMain.h"
#include "shell/fmSplash.h"
#include "ui/BusyCursor.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>

// ---- Russian -----------------------------------------------------------------------------------

namespace {

// Qt's Russian translation leaves the OK button in Latin letters; a Russian desktop writes it in
// Cyrillic ones.
class StandardButtonTexts : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *, int) const override {
        if (qstrcmp(context, "QPlatformTheme") == 0 && qstrcmp(sourceText, "OK") == 0)
            return QStringLiteral("ОК");
        return QString();
    }
};

} // namespace

RussianInterface::RussianInterface() : m_previous(QLocale()) {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    m_qtLoaded = m_qt.load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                           QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (m_qtLoaded)
        QCoreApplication::installTranslator(&m_qt);
    m_own = std::make_unique<StandardButtonTexts>();
    QCoreApplication::installTranslator(m_own.get()); // asked before Qt's own
}

RussianInterface::~RussianInterface() {
    QCoreApplication::removeTranslator(m_own.get());
    if (m_qtLoaded)
        QCoreApplication::removeTranslator(&m_qt);
    QLocale::setDefault(m_previous);
}

// ---- the first start ---------------------------------------------------------------------------

const QString FirstStartText =
    QStringLiteral("База данных создана впервые: в ней есть только основные справочники (типы "
                   "устройств, комплектующих, материалов и программ, виды документов).\n"
                   "Заполнить её демонстрационной организацией?\n\n"
                   "«Да» — демонстрационная организация, «Нет» — начать свою с пустого дерева.");

namespace {

FirstStartQuestion &firstStartQuestion() {
    static FirstStartQuestion question;
    return question;
}

bool askFirstStart(const QString &text) {
    if (firstStartQuestion())
        return firstStartQuestion()(text);
    QMessageBox box(QMessageBox::Question, QStringLiteral("Velmora"), text,
                    QMessageBox::Yes | QMessageBox::No);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

// An embedded database whose file is not there yet (or is empty) is made by this start.
bool isNewEmbeddedDatabase(const QString &url) {
    try {
        const DatabaseUrl parsed = DatabaseUrl::parse(url);
        if (parsed.engine != Engine::SQLite)
            return false;
        const QFileInfo file(parsed.path);
        return !file.exists() || file.size() == 0;
    } catch (const AppError &) {
        return false; // the data module reports the malformed address
    }
}

} // namespace

FirstStartQuestion SetFirstStartQuestion(FirstStartQuestion question) {
    FirstStartQuestion old = std::move(firstStartQuestion());
    firstStartQuestion() = std::move(question);
    return old;
}

// ---- the start ---------------------------------------------------------------------------------

Program::Program() : m_dialogs(std::make_unique<DialogRegistry>()) {}

Program::~Program() {
    m_backup.reset(); // stops the day's backup at its next step
    // The dialogs first: their datasets use the connection and the lookup lists.
    m_dialogs.reset();
    m_lookUp.reset();
    m_main.reset();
    m_chain.reset();
    m_data.reset();
    delete m_splash;
}

bool Program::start(const QString &url) {
    m_splash = new TSplashFM;
    m_splash->show();
    m_splash->repaint(); // visible during the slow steps that follow
    QApplication::processEvents();

    InstallServer();
    const QString location = url.isEmpty() ? DatabaseLocation() : url;
    const bool fresh = isNewEmbeddedDatabase(location);
    TdmTessal::updateForNewerDatabase = UpdateForNewerDatabase;
    m_data = std::make_unique<TdmTessal>(location);
    if (m_data->startFailed()) {
        m_updating = m_data->updating();
        m_failure = m_data->startError();
        delete m_splash;
        return false;
    }
    m_backup = StartDailyBackup();
    if (fresh) {
        m_splash->hide(); // the question must not hide behind it
        if (askFirstStart(FirstStartText)) {
            Guarded([&] {
                BusyCursor busy;
                CreateDemoData(m_data->cnGeneral);
            });
        }
        m_splash->show();
    }
    m_chain = std::make_unique<TdmChain>(m_data->cnGeneral);
    m_main = std::make_unique<TMainFM>();
    m_lookUp = std::make_unique<TdmLookUp>(m_data->cnGeneral);
    m_splash->ExFree(splashDelayMs);
    return true;
}

int Program::run() {
    m_main->show();
    QApplication::exec();
    return 0;
}
