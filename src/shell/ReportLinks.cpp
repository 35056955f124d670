#include "shell/ReportLinks.h"

#include "data/Errors.h"
#include "data/Settings.h"
#include "data/TessalSystem.h"
#include "data/dmTessalData.h"
#include "model/ReportRender.h"
#include "model/Reports.h"
#include "ui/Seams.h"

#include <QApplication>
#include <QDesktopServices>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>
#include <QUrl>

namespace {

const QString Section = QStringLiteral("Reports");

void launch(const QString &browser, const QString &address) {
    if (browser.trimmed().isEmpty()) {
        QDesktopServices::openUrl(QUrl::fromEncoded(address.toUtf8(), QUrl::TolerantMode));
        return;
    }
    // The browser command may carry its own arguments; the address, as built, comes last.
    QStringList args = QProcess::splitCommand(browser);
    const QString program = args.isEmpty() ? browser : args.takeFirst();
    QProcess::startDetached(program, args << address);
}

BrowserLauncher &launcher() {
    static BrowserLauncher l = launch;
    return l;
}

void preview(const ReportTable &report) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(report.landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    // Qt's print dialog offers the document name for a PDF file with its last ".xxx" taken for an
    // extension, which would cut a date in the title: hand it the whole file name.
    printer.setDocName(ReportFileName(report.title));
    QPrintPreviewDialog dialog(&printer, QApplication::activeWindow());
    dialog.setWindowTitle(report.title);
    dialog.resize(900, 700);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&report](QPrinter *p) { RenderReport(report, *p); });
    RunModal(dialog);
}

ReportViewer &viewer() {
    static ReportViewer v = preview;
    return v;
}

void showOwnReport(const QString &name, int key) {
    if (!dmTessal)
        throw AppError(QStringLiteral("Нет соединения с базой данных"));
    viewer()(BuildReport(dmTessal->cnGeneral, name, key));
}

} // namespace

ReportSettings ReportSettings::load() {
    const PropertyStore store(Section);
    return {store.read(QStringLiteral("InternalHost")).toString().trimmed(),
            store.read(QStringLiteral("ExternalHost")).toString().trimmed(),
            store.read(QStringLiteral("DeveloperMachine")).toString().trimmed(),
            store.read(QStringLiteral("Browser")).toString().trimmed()};
}

void ReportSettings::save() const {
    const PropertyStore store(Section);
    store.write(QStringLiteral("InternalHost"), internalHost);
    store.write(QStringLiteral("ExternalHost"), externalHost);
    store.write(QStringLiteral("DeveloperMachine"), developerMachine);
    store.write(QStringLiteral("Browser"), browser);
}

QString ReportServerAddress(const QString &host, const QString &report) {
    return QStringLiteral("http://") + host +
           QStringLiteral("/ReportServer/Pages/ReportViewer.aspx?%2fVelmora%2f") + report;
}

QString ReportHost(const ReportSettings &settings, const QString &computerName) {
    const bool developer = !settings.developerMachine.isEmpty() && computerName == settings.developerMachine;
    return developer ? settings.externalHost : settings.internalHost;
}

void OpenReport(const QString &report) {
    const ReportSettings settings = ReportSettings::load();
    const QString host = ReportHost(settings, LocalComputerName());
    if (!host.isEmpty()) {
        launcher()(settings.browser, ReportServerAddress(host, report));
        return;
    }
    QString name;
    int key = -1;
    if (!ParseReportText(report, &name, &key))
        throw AppError(QStringLiteral("Неизвестный отчёт «%1»").arg(report));
    showOwnReport(name, key);
}

void OpenChecklistReport(int user) {
    const ReportSettings settings = ReportSettings::load();
    if (settings.externalHost.isEmpty()) {
        showOwnReport(QStringLiteral("user.install"), user);
        return;
    }
    const QString report = QStringLiteral("user.install&rs:Command=Render&User=") + QString::number(user);
    launcher()(QString(), ReportServerAddress(settings.externalHost, report));
}

void ViewOwnReport(const ReportTable &report) {
    viewer()(report);
}

BrowserLauncher SetBrowserLauncher(BrowserLauncher l) {
    BrowserLauncher old = std::move(launcher());
    launcher() = l ? std::move(l) : BrowserLauncher(launch);
    return old;
}

ReportViewer SetReportViewer(ReportViewer v) {
    ReportViewer old = std::move(viewer());
    viewer() = v ? std::move(v) : ReportViewer(preview);
    return old;
}
