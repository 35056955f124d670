// velmora-db overview [--department N] --pdf FILE | --png FILE: the overview page the program's
// tab "Сводка" shows, written without a display (on a schedule, for instance).
//
// The page is the tab's own drawing (Qt Charts, velmora_ui) on the offscreen platform: one page
// for both, so a chart added to the tab appears here too. MakeToolApplication starts a
// QApplication for this command.

#include "model/Overview.h"
#include "ToolArgs.h"
#include "data/Connection.h"
#include "data/Errors.h"
#include "views/OverviewPage.h"

#include <QDate>
#include <cstdio>
#include <functional>

void OpenToolDatabase(Connection &cn, const QString &url); // velmora-db.cpp: schema check included

int OverviewCommand(const QString &url, const QStringList &args,
                    const std::function<void(const QString &)> &usage) {
    QVariant department;
    QString pdf, png;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        auto value = [&] { return OptionValue(args, i, usage); };
        if (a == u"--department") {
            const QString v = value();
            bool ok = false;
            const int n = v.toInt(&ok);
            if (!ok || n <= 0)
                throw AppError(
                    QStringLiteral("Номер подразделения %1 не распознан; нужно целое число больше нуля")
                        .arg(quoteInput(v)));
            department = n;
        } else if (a == u"--pdf") {
            pdf = value();
        } else if (a == u"--png") {
            png = value();
        } else {
            usage(QStringLiteral("неизвестный параметр команды overview: %1").arg(quoteInput(a)));
        }
    }
    if (pdf.isEmpty() && png.isEmpty())
        usage(QStringLiteral("overview: укажите --pdf ФАЙЛ или --png ФАЙЛ"));

    Connection cn;
    OpenToolDatabase(cn, url);
    const OverviewData data = LoadOverview(cn, department, QDate::currentDate());
    if (!pdf.isEmpty())
        WriteOverviewPdf(pdf, data);
    if (!png.isEmpty())
        WriteOverviewPng(png, data);
    return 0;
}
