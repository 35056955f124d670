#pragma once

#include <QLocale>
#include <QPointer>
#include <QString>
#include <QTranslator>

#include <functional>
#include <memory>

class DailyBackup;
class DialogRegistry;
class TdmChain;
class TdmLookUp;
class TdmTessal;
class TMainFM;
class TSplashFM;

// Russian for the whole program whatever the system's language: the default locale (date editors,
// month names, numbers, the log's date) and Qt's own texts (standard buttons and dialogs) from
// Qt's translation qtbase_ru.qm. Undone when destroyed.
class RussianInterface {
public:
    RussianInterface();
    ~RussianInterface();
    RussianInterface(const RussianInterface &) = delete;
    RussianInterface &operator=(const RussianInterface &) = delete;

    // False when Qt's translation was not found (Debian package qt6-translations-l10n).
    bool qtTranslated() const { return m_qtLoaded; }

private:
    QLocale m_previous;
    QTranslator m_qt;
    std::unique_ptr<QTranslator> m_own;
    bool m_qtLoaded = false;
};

// The question asked on the first start with a new embedded database; true fills it with the demo
// organisation, false leaves it empty. Tests answer it; by default a message box asks the user.
using FirstStartQuestion = std::function<bool(const QString &text)>;
FirstStartQuestion SetFirstStartQuestion(FirstStartQuestion question); // returns the previous one
extern const QString FirstStartText;

// The program from its start to the end of its message loop. The objects it creates live until it
// is destroyed and go in the reverse order; the dialogs, made on first use under its dialog
// registry, go before all of them.
class Program {
public:
    Program();
    ~Program();
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    // Shows the splash window, opens the database at `url` (DatabaseLocation() when empty),
    // offers the demo organisation for a new embedded database, creates the chain module, the main
    // window and the lookup module, and releases the splash. False when the database could not be
    // used: the reason was shown and logged, nothing else was created, and failure() tells it.
    bool start(const QString &url = {});
    // Shows the main window and runs the message loop; the program's exit status.
    int run();

    const QString &failure() const { return m_failure; }
    // start() was false because the database is of a newer program and its update has started.
    bool updating() const { return m_updating; }
    TMainFM *mainWindow() const { return m_main.get(); }

    int splashDelayMs = 1500; // how long the splash stays after the last module was made

private:
    QString m_failure;
    bool m_updating = false;
    std::unique_ptr<DialogRegistry> m_dialogs; // owns every dialog; destroyed first
    QPointer<TSplashFM> m_splash;
    std::unique_ptr<TdmTessal> m_data;
    std::unique_ptr<TdmChain> m_chain;
    std::unique_ptr<TMainFM> m_main;
    std::unique_ptr<TdmLookUp> m_lookUp;
    std::unique_ptr<DailyBackup> m_backup; // the day's first backup, while it is made
};
