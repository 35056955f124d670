#include "data/dmTessalData.h"

#include "data/Errors.h"
#include "data/TessalDialog.h"
#include "data/TessalLog.h"

TdmTessal *dmTessal = nullptr;

namespace {

// The driver's text as a box shows it: each line without the indents meant for a console.
QString boxLines(const QString &text) {
    QStringList lines = text.split(u'\n');
    for (QString &line : lines)
        line = line.trimmed();
    return lines.join(u'\n');
}

QString errorText(const std::exception &e) {
    if (const auto *app = dynamic_cast<const AppError *>(&e))
        return app->message();
    return QString::fromUtf8(e.what());
}

} // namespace

TdmTessal::TdmTessal(const QString &url, QObject *parent) : QObject(parent) {
    dmTessal = this;
    DataModuleCreate(url.isEmpty() ? DatabaseLocation() : url);
}

TdmTessal::~TdmTessal() {
    if (dmTessal == this)
        dmTessal = nullptr;
}

void TdmTessal::DataModuleCreate(const QString &url) {
    // Two attempts, each given up after the connection time-out. The first failure is not shown:
    // the user reads one box, in Russian, with the driver's words below it.
    QString reason;
    for (int attempt = 0; attempt < 2 && !cnGeneral.isOpen(); ++attempt) {
        try {
            cnGeneral.open(url);
        } catch (const std::exception &e) {
            reason = errorText(e);
        }
    }
    if (!cnGeneral.isOpen()) {
        refuseStart(QStringLiteral("Сервер данных недоступен.") + u'\n' + boxLines(reason), reason);
        return;
    }
    // A database this program cannot use (of a newer program, damaged, an upgrade that failed) is
    // left as it is and stops the start as well.
    // A newer program's database asks first for that program: the version step of an older
    // program cannot run against a schema it does not know, so it runs here, before the refusal.
    try {
        if (prepareDatabase)
            prepareDatabase(cnGeneral);
    } catch (const NewerSchemaError &e) {
        QString updateFailure;
        try {
            m_updating = updateForNewerDatabase && updateForNewerDatabase(cnGeneral);
        } catch (const std::exception &u) {
            updateFailure = errorText(u);
        }
        cnGeneral.close();
        if (m_updating)
            return;
        QString message = e.message();
        if (!updateFailure.isEmpty())
            message += u'\n' + updateFailure;
        refuseStart(ExceptionText(message), message);
    } catch (const std::exception &e) {
        cnGeneral.close();
        const QString message = errorText(e);
        refuseStart(ExceptionText(message), message);
    }
}

void TdmTessal::refuseStart(const QString &shown, const QString &logged) {
    m_startError = shown;
    ShowError(shown);
    try {
        m_logFile = WriteAppLog(logged);
    } catch (const AppError &e) {
        // Nowhere to write: the reason still reaches the standard error stream of the program.
        m_startError += u'\n' + e.message();
    }
}
