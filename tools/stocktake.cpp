// velmora-db stocktake (--workplace N | --department N) --codes FILE: brings a file of scanned codes
// (one per line, as a scanner app on a phone saves them) into the place's open count, or a new
// one, and prints what was found, what is missing, what belongs elsewhere and what is unknown.

#include "ToolArgs.h"
#include "ToolText.h"
#include "data/Connection.h"
#include "data/Errors.h"
#include "data/Procedures.h"
#include "model/ReportRender.h"
#include "model/StocktakeReport.h"
#include "server/Journal.h"

#include <QFile>
#include <QStringDecoder>
#include <cstdio>
#include <functional>

void OpenToolDatabase(Connection &cn, const QString &url); // velmora-db.cpp: schema check included

namespace {

constexpr int CodeWidth = 50;

// The codes of the file, in order; the whole file is refused, before anything is written, when a
// line cannot be a code.
QStringList readCodes(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Не удалось прочитать файл кодов %1: %2")
                           .arg(quoteInput(path, 200), f.errorString()));
    const QByteArray bytes = f.readAll();
    QStringDecoder utf8(QStringConverter::Utf8); // a byte order mark at the start is dropped
    const QString text = utf8(bytes);
    if (utf8.hasError())
        throw AppError(QStringLiteral("Файл кодов %1 не в кодировке UTF-8").arg(quoteInput(path, 200)));
    QStringList codes, bad;
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString code = lines[i].trimmed();
        if (code.isEmpty())
            continue;
        if (code.size() > CodeWidth)
            bad << QString::number(i + 1);
        codes << code;
    }
    if (!bad.isEmpty())
        throw AppError(
            QStringLiteral("В файле кодов строки длиннее %1 символов (таких кодов на этикетках нет): %2; "
                           "ничего не записано")
                .arg(CodeWidth)
                .arg(bad.mid(0, 20).join(QStringLiteral(", "))));
    return codes;
}

qint64 key(const QString &option, const QString &text, const std::function<void(const QString &)> &usage) {
    bool ok = false;
    const qint64 k = text.toLongLong(&ok);
    if (!ok || k < 1 || k > 2147483647)
        usage(QStringLiteral("после %1 нужен ключ записи (целое положительное число): %2")
                  .arg(option, quoteInput(text)));
    return k;
}

} // namespace

int StocktakeCommand(const QString &url, const QStringList &args,
                     const std::function<void(const QString &)> &usage) {
    QString codesFile, pdf, placeOption;
    qint64 place = 0;
    bool elements = false, finish = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        auto value = [&] { return OptionValue(args, i, usage); };
        if (a == u"--workplace" || a == u"--department") {
            if (!placeOption.isEmpty())
                usage(QStringLiteral("укажите одно место: --workplace N или --department N"));
            placeOption = a;
            place = key(a, value(), usage);
        } else if (a == u"--codes") {
            codesFile = value();
        } else if (a == u"--pdf") {
            pdf = value();
        } else if (a == u"--elements") {
            elements = true;
        } else if (a == u"--finish") {
            finish = true;
        } else {
            usage(QStringLiteral("неизвестный параметр команды stocktake: %1").arg(quoteInput(a)));
        }
    }
    if (placeOption.isEmpty())
        usage(QStringLiteral("не указано место: --workplace N или --department N"));
    if (codesFile.isEmpty())
        usage(QStringLiteral("не указан файл кодов: --codes ФАЙЛ"));
    const QStringList codes = readCodes(codesFile);

    Connection cn;
    OpenToolDatabase(cn, url);
    Journal::NamePerson(cn);
    qint64 id = 0;
    bool resumed = false;
    {
        // The file comes in whole or not at all.
        Transaction tx(cn);
        QVector<Parameter> start = procedureParameters(QStringLiteral("StocktakeStart;1"));
        for (Parameter &p : start) {
            if (p.name == (placeOption == u"--workplace" ? u"@Workplace" : u"@Department"))
                p.value = place;
            else if (p.name == u"@Elements")
                p.value = elements ? 1 : 0;
        }
        callProcedure(cn, QStringLiteral("StocktakeStart;1"), start);
        for (const Parameter &p : start) {
            if (p.name == u"@IdStocktake")
                id = p.value.toLongLong();
            else if (p.name == u"@Resumed")
                resumed = p.value.toInt() != 0;
        }
        for (const QString &code : codes) {
            QVector<Parameter> scan = procedureParameters(QStringLiteral("StocktakeScan;1"));
            for (Parameter &p : scan) {
                if (p.name == u"@ID")
                    p.value = id;
                else if (p.name == u"@Code")
                    p.value = code;
            }
            callProcedure(cn, QStringLiteral("StocktakeScan;1"), scan);
        }
        if (finish) {
            QVector<Parameter> end = procedureParameters(QStringLiteral("StocktakeFinish;1"));
            end[1].value = id;
            callProcedure(cn, QStringLiteral("StocktakeFinish;1"), end);
        }
        tx.commit();
    }

    const StocktakeCount count = ReadStocktake(cn, id);
    WriteText(stdout, QStringLiteral("Инвентаризация %1: %2 (%3), кодов в файле: %4\n")
                          .arg(id)
                          .arg(count.placeText, finish    ? QStringLiteral("завершена")
                                                : resumed ? QStringLiteral("продолжена")
                                                          : QStringLiteral("начата"))
                          .arg(codes.size()));
    const std::pair<const char *, const char *> sections[] = {
        {"F", "Найдено"}, {"N", "Не найдено"}, {"P", "Не на своём месте"}, {"U", "Нет в базе"}};
    for (const auto &[result, caption] : sections) {
        WriteText(stdout, QStringLiteral("%1: %2\n")
                              .arg(QString::fromUtf8(caption))
                              .arg(count.count(QString::fromLatin1(result))));
        for (const StocktakeLine &l : count.lines)
            if (l.result == QLatin1StringView(result)) {
                QStringList cells{l.code, l.name, l.kindName, l.place};
                while (!cells.isEmpty() && cells.back().isEmpty())
                    cells.removeLast();
                WriteText(stdout, QStringLiteral("  ") + cells.join(u'\t') + u'\n');
            }
    }
    WriteText(stdout, QStringLiteral("Итого: %1\n").arg(StocktakeTotals(count)));
    if (!pdf.isEmpty())
        WriteReportPdf(StocktakeReport(count), pdf);
    return 0;
}
