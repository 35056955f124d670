// velmora-db report NAME [KEY] --pdf FILE: one of the program's own reports as a PDF file.

#include "ReportCommand.h"

#include "data/Connection.h"
#include "data/Errors.h"
#include "model/ReportRender.h"
#include "model/Reports.h"

#include <QApplication>

std::unique_ptr<QCoreApplication> MakeToolApplication(int &argc, char **argv) {
    // Rendering needs fonts, hence a GUI application; it runs without a screen.
    for (int i = 1; i < argc; ++i) {
        // The overview draws the tab's charts, which are widgets: a QApplication, never on a screen.
        if (qstrcmp(argv[i], "overview") == 0) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            return std::make_unique<QApplication>(argc, argv);
        }
        if (qstrcmp(argv[i], "report") == 0 || qstrcmp(argv[i], "labels") == 0 ||
            qstrcmp(argv[i], "stocktake") == 0) {
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
                qputenv("QT_QPA_PLATFORM", "offscreen");
            return std::make_unique<QGuiApplication>(argc, argv);
        }
    }
    return std::make_unique<QCoreApplication>(argc, argv);
}

int ReportCommand(QStringList args, const std::function<void(Connection &)> &open,
                  const std::function<void(const QString &)> &usageError) {
    QString pdf;
    QStringList plain;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a == u"--pdf") {
            if (args.isEmpty() || args.front().isEmpty())
                usageError(QStringLiteral("после --pdf нужно имя файла"));
            pdf = args.takeFirst();
        } else if (a.startsWith(QStringLiteral("--pdf="))) {
            pdf = a.mid(6);
        } else {
            plain << a;
        }
    }
    if (plain.isEmpty())
        usageError(
            QStringLiteral("не указан отчёт; отчёты: %1").arg(ReportNames().join(QStringLiteral(", "))));
    if (plain.size() > 2)
        usageError(QStringLiteral("лишние значения: %1").arg(plain.mid(2).join(u' ')));
    if (pdf.isEmpty())
        usageError(QStringLiteral("не указан файл: --pdf ФАЙЛ"));
    int key = -1;
    if (plain.size() == 2) {
        bool ok = false;
        key = plain[1].toInt(&ok);
        if (!ok || key < 0)
            usageError(
                QStringLiteral("ключ записи должен быть целым неотрицательным числом: %1").arg(plain[1]));
    }
    Connection cn;
    open(cn);
    WriteReportPdf(BuildReport(cn, plain[0], key), pdf);
    return 0;
}
