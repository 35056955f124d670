// velmora-db labels: a PDF of labels for a department, a workplace, a device or every device.

#include "model/Labels.h"
#include "ToolArgs.h"
#include "ToolText.h"
#include "data/Connection.h"
#include "data/Errors.h"

#include <QStringList>
#include <cstdio>
#include <functional>

void OpenToolDatabase(Connection &cn, const QString &url); // velmora-db.cpp: schema check included

namespace {

int positive(const QString &option, const QString &text, const std::function<void(const QString &)> &usage) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n <= 0)
        usage(
            QStringLiteral("после %1 нужно целое число больше нуля, а не %2").arg(option, quoteInput(text)));
    return n;
}

QString names(const QStringList &list) {
    return list.join(QStringLiteral(", "));
}

} // namespace

// Throws AppError for bad data; `usage` is called for a wrong command line.
int LabelsCommand(const QString &url, const QStringList &args,
                  const std::function<void(const QString &)> &usage) {
    QString kind, pdf;
    int key = 0;
    bool scope = false, elements = false, organisationGiven = false;
    LabelOptions options;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        auto value = [&] { return OptionValue(args, i, usage); };
        auto place = [&](const char *letter) {
            if (scope)
                usage(QStringLiteral("укажите одно из --department, --workplace, --device, --all"));
            scope = true;
            kind = QString::fromLatin1(letter);
        };
        if (a == u"--department" || a == u"--workplace" || a == u"--device") {
            place(a == u"--department" ? "D" : a == u"--workplace" ? "W" : "V");
            key = positive(a, value(), usage);
        } else if (a == u"--all") {
            place("");
        } else if (a == u"--pdf") {
            pdf = value();
        } else if (a == u"--format") {
            options.sheet = value();
            if (!FindLabelSheet(options.sheet)) {
                QStringList known;
                for (const LabelSheet &s : LabelSheets())
                    known << s.name;
                usage(QStringLiteral("формат %1 неизвестен; форматы: %2")
                          .arg(quoteInput(options.sheet), names(known)));
            }
        } else if (a == u"--code") {
            const QString v = value();
            if (!FindLabelCodeType(v, &options.code)) {
                QStringList known;
                for (const LabelCodeType &t : LabelCodeTypes())
                    known << t.name;
                usage(QStringLiteral("код %1 неизвестен; коды: %2").arg(quoteInput(v), names(known)));
            }
        } else if (a == u"--start") {
            options.start = positive(a, value(), usage);
        } else if (a == u"--elements") {
            elements = true;
        } else if (a == u"--organisation") {
            options.organisation = args.value(i + 1);
            organisationGiven = i + 1 < args.size();
            if (!organisationGiven)
                usage(QStringLiteral("после --organisation нужно название"));
            ++i;
        } else {
            usage(QStringLiteral("неизвестный параметр: %1").arg(quoteInput(a)));
        }
    }
    if (!scope)
        usage(QStringLiteral("укажите --department N, --workplace N, --device N или --all"));
    if (pdf.isEmpty())
        usage(QStringLiteral("укажите файл: --pdf ФАЙЛ"));
    if (!organisationGiven)
        options.organisation = LabelOrganisation();

    Connection cn;
    OpenToolDatabase(cn, url);
    const std::vector<LabelItem> labels = ReadLabels(cn, kind, key, elements);
    WriteLabelsPdf(labels, options, pdf);
    WriteText(stdout, QStringLiteral("Этикеток: %1\n").arg(labels.size()));
    return 0;
}
