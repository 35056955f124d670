#pragma once

#include "data/Connection.h"
#include "data/Settings.h"

#include <QObject>
#include <QVector>

// The module the whole program shares: the one connection and the settings store.
class TdmTessal : public QObject {
    Q_OBJECT
public:
    // Creating it opens the connection to `url` (DatabaseLocation() when empty) in two attempts and
    // brings the database to the current schema. When the server cannot be reached, or the database
    // is refused (of a newer program, damaged) or fails to upgrade, one error box tells why, the
    // reason goes to the application log, the connection stays closed and startFailed() is true:
    // the program must not go on.
    explicit TdmTessal(const QString &url = {}, QObject *parent = nullptr);
    ~TdmTessal() override;

    bool startFailed() const { return !m_startError.isEmpty() || m_updating; }
    // The database is of a newer program and the update to it has been started: this program
    // ends quietly, the updater starts the newer one.
    bool updating() const { return m_updating; }
    // What the box said, followed by the log's own failure when the log could not be written.
    const QString &startError() const { return m_startError; }
    // The log file the failure went to; empty when none could be written.
    const QString &logFile() const { return m_logFile; }

    Connection cnGeneral;
    PropertyStore stProp{QString()};

    // Called once the connection is open: brings the database to the current schema.
    static inline std::function<void(Connection &)> prepareDatabase;
    // Called when the database is of a newer program: starts the update to the version the
    // database holds and returns true, or returns false when it holds none to update to.
    static inline std::function<bool(Connection &)> updateForNewerDatabase;

private:
    void DataModuleCreate(const QString &url);
    void refuseStart(const QString &shown, const QString &logged);

    QString m_startError;
    QString m_logFile;
    bool m_updating = false;
};

extern TdmTessal *dmTessal;
