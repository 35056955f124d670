#pragma once

// Report links: the address of a report on the report server, the choice of the server by the
// computer's name, the browser that opens it, and the program's own reports when no server is set.

#include <QString>

#include <functional>

struct ReportTable;

// The report server settings (group "Reports" of the settings file), all empty by default:
// InternalHost, ExternalHost, DeveloperMachine, Browser (a command; empty: the desktop's opener).
struct ReportSettings {
    QString internalHost, externalHost, developerMachine, browser;
    static ReportSettings load();
    void save() const;
};

// "http://" + host + "/ReportServer/Pages/ReportViewer.aspx?%2fVelmora%2f" + report.
QString ReportServerAddress(const QString &host, const QString &report);
// The host for a workstation: the external one only on the developer machine (the name compared
// exactly, letter case included), else the internal one.
QString ReportHost(const ReportSettings &settings, const QString &computerName);

// Opens the report: with a report host, its page in the browser of the settings; without one,
// Velmora renders the report itself and shows it in a print preview.
void OpenReport(const QString &report);
// The setup checklist's report: always on the external host, in the desktop's default browser;
// rendered by Velmora when no external host is set.
void OpenChecklistReport(int user);
// Shows a report Velmora has built itself (a stocktaking) the way its own reports are shown.
void ViewOwnReport(const ReportTable &report);

// Seams: how an address reaches a browser (browser command, or empty for the desktop's opener),
// and how an own report is shown. Each returns the previous one.
using BrowserLauncher = std::function<void(const QString &browser, const QString &address)>;
BrowserLauncher SetBrowserLauncher(BrowserLauncher launcher);
using ReportViewer = std::function<void(const ReportTable &report)>;
ReportViewer SetReportViewer(ReportViewer viewer);
