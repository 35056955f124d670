// velmora-db: the administrator's command line over the program's database.
//
//   velmora-db [--database URL] create [--demo] [--scale N]
//   velmora-db [--database URL] call 'Name;1' [arguments...]
//   velmora-db [--database URL] sql "statement" [arguments...]
//   velmora-db procedures
//
// Every command that opens the database first checks its schema version: an older database is
// upgraded, a newer or damaged one is refused before anything is read or written.
//
// Results are printed as tab-separated text, one header line of field names, then one line per
// row. Values are written plainly: dates "yyyy-MM-dd HH:mm:ss", booleans 1/0, Null as nothing,
// binary data as "<N bytes>"; a tab, line break or backslash inside a text is written as \t, \n,
// \r or \\ so that every row stays on one line. Errors go to standard error (exit code 1), a
// wrong command line prints the usage (exit code 2).

#include "ReportCommand.h"
#include "ToolText.h"
#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/Procedures.h"
#include "data/Settings.h"
#include "data/TessalADO.h"
#include "data/TessalSystem.h"
#include "data/TessalVersionInfo.h"
#include "data/ValueCheck.h"
#include "publish.h"
#include "server/DemoData.h"
#include "server/Server.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>
#include <functional>
#include <optional>

int NetworkCommand(const QString &command, const QString &url, const QStringList &args); // netscan.cpp
int JournalCommand(const QString &url, const QStringList &args,
                   const std::function<void(const QString &)> &usage); // journal.cpp
int LabelsCommand(const QString &url, const QStringList &args,
                  const std::function<void(const QString &)> &usage); // labels.cpp
int OverviewCommand(const QString &url, const QStringList &args,
                    const std::function<void(const QString &)> &usage); // overview.cpp
int StocktakeCommand(const QString &url, const QStringList &args,
                     const std::function<void(const QString &)> &usage); // stocktake.cpp
int CopyCommand(const QString &url, const QStringList &args,
                const std::function<void(const QString &)> &usage); // copy.cpp
int ImportCommand(const QString &url, const QStringList &args,
                  const std::function<void(const QString &)> &usage); // import.cpp
int ExportCommand(const QString &url, const QStringList &args,
                  const std::function<void(const QString &)> &usage); // import.cpp

namespace {

constexpr int ExitError = 1;
constexpr int ExitUsage = 2;

const char *Usage =
    "Использование:\n"
    "  velmora-db [--database АДРЕС] create [--demo] [--scale N]\n"
    "      создать базу данных или обновить её схему; --demo добавляет демонстрационную\n"
    "      организацию (только в базу без подразделений), --scale N добавляет около N устройств\n"
    "      с десятью элементами каждое\n"
    "  velmora-db [--database АДРЕС] call 'Имя;1' [значения...]\n"
    "      выполнить процедуру сервера; значения передаются по порядку параметров: целое\n"
    "      число как число, NULL как отсутствие значения (только для параметров без отметки\n"
    "      «обязательный» в списке procedures), остальное как текст; пустой текст для числа,\n"
    "      даты или bit не принимается\n"
    "  velmora-db [--database АДРЕС] sql \"запрос\" [значения...]\n"
    "      выполнить один оператор SQL; значения связываются с его параметрами :имя по порядку\n"
    "  velmora-db procedures\n"
    "      перечислить процедуры сервера с их параметрами\n"
    "  velmora-db [--database АДРЕС] ping [--log]\n"
    "      проверить наличие в сети устройств с сетевым именем; --log записывает журнал SC[...].log\n"
    "  velmora-db [--database АДРЕС] scan-domain ДОМЕН\n"
    "      перенести учётные записи домена из его контроллера (список контроллеров домена)\n"
    "  velmora-db [--database АДРЕС] domains [add ДОМЕН КОНТРОЛЛЕР[:ПОРТ] [УЧЁТНАЯ_ЗАПИСЬ] | remove ДОМЕН]\n"
    "      список доменов для переноса учётных записей; add добавляет домен, remove удаляет\n"
    "  velmora-db [--database АДРЕС] checklist-defaults [add НОМЕР heading|item ТЕКСТ | remove НОМЕР]\n"
    "      строки бланка настройки компьютера по умолчанию; add добавляет заголовок или пункт\n"
    "  velmora-db [--database АДРЕС] report ОТЧЁТ [КЛЮЧ] --pdf ФАЙЛ\n"
    "      записать отчёт программы в PDF; отчёты: device, workplace, document, user.info и\n"
    "      user.install с ключом записи, last.move, prevention, computer.list, user.list, mail.box\n"
    "  velmora-db [--database АДРЕС] publish --version 1.2.3.4 --program ФАЙЛ --updater ФАЙЛ\n"
    "             [--changes ФАЙЛ]\n"
    "      опубликовать версию программы: рабочие места обновятся до неё при следующем запуске;\n"
    "      файл программы должен нести эту же версию, изменения — текст в UTF-8\n"
    "  velmora-db [--database АДРЕС] journal [--since ДАТА] [--user ИМЯ] [--table ТАБЛИЦА] [--key N]\n"
    "      журнал изменений, новые записи первыми: когда, кто, таблица, ключ, что, действие,\n"
    "      изменения; ДАТА как 2024-05-31, ИМЯ — часть имени того, кто менял\n"
    "  velmora-db [--database АДРЕС] journal [--keep МЕСЯЦЕВ] [--purge]\n"
    "      --keep задаёт, сколько месяцев хранить журнал (по умолчанию 36), --purge удаляет\n"
    "      записи старше этого срока\n"
    "  velmora-db [--database АДРЕС] labels (--department N | --workplace N | --device N | --all)\n"
    "             --pdf ФАЙЛ [--format ФОРМАТ] [--code qr|datamatrix|code128] [--start N]\n"
    "             [--elements] [--organisation НАЗВАНИЕ]\n"
    "      этикетки с кодами: по одной на устройство (--elements: и на элемент с серийным\n"
    "      номером); форматы: a4-3x8 (по умолчанию), a4-2x7, a4-4x10, roll-58x40; --start —\n"
    "      первое свободное место на листе; название организации без --organisation берётся\n"
    "      из настроек программы\n"
    "  velmora-db [--database АДРЕС] overview [--department N] --pdf ФАЙЛ | --png ФАЙЛ\n"
    "      сводка в диаграммах, как на вкладке «Сводка»: страница PDF или рисунок PNG;\n"
    "      --department ограничивает её подразделением N и подразделениями под ним\n"
    "  velmora-db [--database АДРЕС] stocktake (--workplace N | --department N) --codes ФАЙЛ\n"
    "             [--elements] [--finish] [--pdf ФАЙЛ]\n"
    "      внести отсканированные коды (по одному в строке) в открытую инвентаризацию места или\n"
    "      в новую и вывести найденное, ненайденное, чужое и неизвестное; --elements также ждёт\n"
    "      комплектующие с серийным номером, --finish завершает инвентаризацию, --pdf записывает\n"
    "      её отчёт\n"
    "  velmora-db [--database АДРЕС] copy --to АДРЕС\n"
    "      скопировать базу данных со всеми таблицами, ключами и журналом изменений в пустую\n"
    "      базу (файл SQLite или базу PostgreSQL): резервная копия базы сервера в файл,\n"
    "      восстановление из файла на сервер, переход с файла на сервер; после копирования\n"
    "      число строк каждой таблицы сверяется с источником\n"
    "  velmora-db [--database АДРЕС] import ФАЙЛ [--dry-run]\n"
    "      загрузить инвентарь из таблицы CSV или .xlsx: всё или ничего; --dry-run только\n"
    "      проверяет и считает, что будет создано, найдено и изменено\n"
    "  velmora-db [--database АДРЕС] export ФАЙЛ.csv|ФАЙЛ.xlsx\n"
    "      выгрузить весь инвентарь в таблицу в тех же столбцах\n"
    "  velmora-db --version\n"
    "      версия этой программы\n"
    "АДРЕС: sqlite:<файл> или postgresql://[пользователь@]сервер[:порт]/база; без --database\n"
    "берётся $VELMORA_DATABASE, затем настройки программы. Пароль в адресе виден всем\n"
    "пользователям компьютера в списке процессов: храните его в ~/.pgpass (режим 0600) или\n"
    "передавайте в переменной PGPASSWORD. Перед работой схема базы проверяется: старая\n"
    "обновляется, базу более новой версии программы или повреждённую команда не трогает.\n"
    "publish принимает только исполняемые файлы этой системы не больше 256 МБ, которые\n"
    "запускаются и на --version отвечают своей версией.\n";

// A password on the command line is in the process list for every user of the machine.
void warnOfPassword(const QString &url) {
    try {
        if (!DatabaseUrl::parse(url).password.isEmpty())
            WriteText(stderr,
                      QStringLiteral("velmora-db: внимание: пароль в --database виден всем пользователям "
                                     "компьютера в списке процессов; храните его в ~/.pgpass (режим 0600) "
                                     "или передавайте в переменной PGPASSWORD\n"));
    } catch (const AppError &) {
        // A malformed address is reported when it is opened.
    }
}

struct UsageError {
    QString message;
};

// A value as one cell of the output.
QString cell(const QVariant &v) {
    if (!v.isValid() || v.isNull())
        return QString();
    switch (v.typeId()) {
    case QMetaType::QDateTime:
        return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case QMetaType::QDate:
        return v.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::QTime:
        return v.toTime().toString(QStringLiteral("HH:mm:ss"));
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::QByteArray:
        return QStringLiteral("<%1 bytes>").arg(v.toByteArray().size());
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(v.toDouble(), 'g', 15);
    default:
        break;
    }
    QString s = v.toString();
    if (s.contains(u'\\') || s.contains(u'\t') || s.contains(u'\n') || s.contains(u'\r'))
        s.replace(u'\\', QStringLiteral("\\\\"))
            .replace(u'\t', QStringLiteral("\\t"))
            .replace(u'\n', QStringLiteral("\\n"))
            .replace(u'\r', QStringLiteral("\\r"));
    return s;
}

void printRow(const QStringList &cells) {
    WriteText(stdout, cells.join(u'\t') + u'\n');
}

// An argument of the command line as a value: an integer as int, NULL as Null, else the text.
QVariant argument(const QString &text) {
    if (text == u"NULL")
        return QVariant();
    static const QRegularExpression integer(QStringLiteral("^[+-]?[0-9]+$"));
    if (integer.match(text).hasMatch()) {
        bool ok = false;
        const int n = text.toInt(&ok);
        if (ok)
            return n;
    }
    return text;
}

void printDataSet(const DataSet &ds) {
    QStringList header;
    for (int f = 0; f < ds.fieldCount(); ++f)
        header << ds.field(f)->name();
    printRow(header);
    for (int r = 0; r < ds.recordCount(); ++r) {
        QStringList cells;
        for (int f = 0; f < ds.fieldCount(); ++f)
            cells << cell(ds.valueAt(r, f));
        printRow(cells);
    }
}

void printOutParameters(const QVector<Parameter> &params) {
    for (const Parameter &p : params) {
        if (p.direction != ParamDirection::Output && p.direction != ParamDirection::InputOutput)
            continue;
        const QString name = p.name.startsWith(u'@') ? p.name : u'@' + p.name;
        WriteText(stdout, name + u'=' + cell(p.value) + u'\n');
    }
}

QString databaseUrl(const QString &given) {
    if (!given.isEmpty())
        return given;
    const QString env = qEnvironmentVariable("VELMORA_DATABASE");
    return env.isEmpty() ? DatabaseLocation() : env;
}

} // namespace

// Opens an existing database and brings it to the current schema (a newer or damaged one is
// refused untouched): the one way every command but create opens its database. A SQLite file
// that is not there, or is empty, is refused rather than filled with a new schema, so that a
// mistyped path does not leave a stray database behind.
void OpenToolDatabase(Connection &cn, const QString &url) {
    const DatabaseUrl u = DatabaseUrl::parse(url);
    if (u.engine == Engine::SQLite) {
        const QFileInfo file(u.path);
        if (!file.exists())
            throw AppError(QStringLiteral("Файл базы данных %1 не найден").arg(quoteInput(u.path, 200)));
        if (file.isFile() && file.size() == 0)
            throw AppError(QStringLiteral("Файл %1 пуст и не является базой данных; новую базу создаёт "
                                          "команда create")
                               .arg(quoteInput(u.path, 200)));
    }
    cn.open(url);
    PrepareDatabase(cn);
}

namespace {

void openExisting(Connection &cn, const QString &url) {
    OpenToolDatabase(cn, url);
}

int create(const QString &url, const QStringList &args) {
    bool demo = false;
    int scale = 0;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == u"--demo") {
            demo = true;
        } else if (args[i] == u"--scale" && i + 1 < args.size()) {
            bool ok = false;
            scale = args[++i].toInt(&ok);
            if (!ok || scale < 1)
                throw UsageError{QStringLiteral("после --scale нужно положительное число устройств")};
        } else {
            throw UsageError{QStringLiteral("неизвестный параметр команды create: %1").arg(args[i])};
        }
    }
    Connection cn;
    cn.open(url);
    PrepareDatabase(cn);
    if (demo) {
        CreateDemoData(cn);
        WriteText(stderr, QStringLiteral("Демонстрационные данные загружены\n"));
    }
    if (scale > 0)
        CreateScaleData(cn, scale);
    WriteText(stderr, QStringLiteral("База данных готова: %1\n").arg(cn.url().toString()));
    return 0;
}

QString typeText(const Parameter &p);

int call(const QString &url, const QStringList &args) {
    if (args.isEmpty())
        throw UsageError{QStringLiteral("не указано имя процедуры")};
    const QString name = args.front();
    const ProcedureDef *def = ProcedureCatalogue::instance().find(name);
    if (!def)
        throw AppError(QStringLiteral("Не найдена процедура %1").arg(quoteInput(name)));
    const QStringList values = args.mid(1);
    // Values beyond the procedure's parameters would be dropped without a word: refuse them.
    if (values.size() > def->params.size())
        throw AppError(QStringLiteral("Процедура «%1» принимает значений: %2, передано: %3")
                           .arg(def->name)
                           .arg(def->params.size())
                           .arg(values.size()));

    // An empty text is no number, date or bit: NULL says "no value" where the procedure allows it.
    for (int i = 0; i < values.size(); ++i) {
        const Parameter &p = def->params[i];
        const bool text = p.type == FieldType::String || p.type == FieldType::FixedChar ||
                          p.type == FieldType::Memo || p.type == FieldType::Unknown;
        if (values[i].isEmpty() && !text)
            throw AppError(
                p.required
                    ? QStringLiteral("Параметр %1 процедуры «%2» обязателен, а передано пустое значение")
                          .arg(p.name, def->name)
                    : QStringLiteral("Параметр %1 процедуры «%2»: пустое значение не годится для типа %3; "
                                     "чтобы не передавать значение, напишите NULL")
                          .arg(p.name, def->name, typeText(p)));
    }

    Connection cn;
    openExisting(cn, url);
    DataSet ds(&cn);
    ds.setCommand(name, CommandType::StoredProc);
    TypedValues typed;
    for (const QString &v : values)
        typed << TypedValue::Variant(argument(v));
    if (def->columns.isEmpty()) {
        // Bound as OpenWithParams binds: by position after @RETURN_VALUE, missing ones Null.
        QVector<Parameter> &params = ds.parameters();
        for (int p = 1; p < params.size(); ++p)
            params[p].value = p - 1 < typed.size() ? typedValueToVariant(typed[p - 1]) : QVariant();
        ds.execProc();
    } else {
        OpenWithParams(ds, typed);
        printDataSet(ds);
    }
    printOutParameters(ds.parameters());
    return 0;
}

int sql(const QString &url, const QStringList &args) {
    if (args.isEmpty())
        throw UsageError{QStringLiteral("не указан запрос")};
    const QString statement = args.front();
    QVariantList values;
    for (const QString &v : args.mid(1))
        values << argument(v);

    Connection cn;
    openExisting(cn, url);
    // One statement only, on both engines: PostgreSQL would run every statement of the text and
    // SQLite only the first.
    if (prepareSql(statement, cn.engine()).statements != 1)
        throw AppError(
            QStringLiteral("Команда sql выполняет ровно один оператор SQL, а в запросе %1 их не один")
                .arg(quoteInput(statement)));

    if (!executedProcedureName(statement).isEmpty()) {
        // "EXECUTE Name :P": a procedure called the way the program's grids call it.
        DataSet ds(&cn);
        ds.setCommand(statement);
        TypedValues typed;
        for (const QVariant &v : values)
            typed << TypedValue::Variant(v);
        OpenWithParams(ds, typed);
        printDataSet(ds);
        return 0;
    }

    // Run directly, so that a statement without rows can tell how many it changed.
    const PreparedSql p = prepareSql(statement, cn.engine());
    const QStringList names = p.uniqueNames();
    if (values.size() > names.size())
        throw AppError(QStringLiteral("В запросе параметров: %1, передано значений: %2")
                           .arg(names.size())
                           .arg(values.size()));
    // Values checked against the columns they are written into, so that both engines refuse
    // the same texts (SQLite would store "1e3" in an integer column as 1000).
    const StatementResult result =
        cn.executePositional(statement, checkedStatementValues(statement, names, values));
    if (!result.returnsRows) {
        WriteText(stderr, QStringLiteral("%1 rows affected\n").arg(result.rowsAffected));
        return 0;
    }
    const ResultSet &rs = result.rows;
    QStringList header;
    for (const ColumnInfo &c : rs.columns) {
        QString name = c.name;
        // Known columns keep the program's spelling.
        if (const ColumnInfo *known = SchemaInfo::instance().anyColumn(name)) {
            name = known->name;
        } else if (cn.engine() == Engine::PostgreSQL) {
            // PostgreSQL folds an unquoted alias to lower case: take its spelling from the
            // statement, so that "count(*) as N" prints N on both engines.
            const QRegularExpression word(QStringLiteral("\\b%1\\b").arg(QRegularExpression::escape(name)),
                                          QRegularExpression::CaseInsensitiveOption |
                                              QRegularExpression::UseUnicodePropertiesOption);
            if (const auto m = word.match(statement); m.hasMatch())
                name = m.captured(0);
        }
        header << name;
    }
    printRow(header);
    for (const QVector<QVariant> &row : rs.rows) {
        QStringList cells;
        for (const QVariant &v : row)
            cells << cell(v);
        printRow(cells);
    }
    return 0;
}

QString typeText(const Parameter &p) {
    switch (p.type) {
    case FieldType::Integer:
        return QStringLiteral("int");
    case FieldType::SmallInt:
        return QStringLiteral("smallint");
    case FieldType::BigInt:
        return QStringLiteral("bigint");
    case FieldType::Boolean:
        return QStringLiteral("bit");
    case FieldType::DateTime:
        return QStringLiteral("datetime");
    case FieldType::Money:
        return QStringLiteral("money");
    case FieldType::String:
        return QStringLiteral("varchar(%1)").arg(p.size);
    case FieldType::FixedChar:
        return QStringLiteral("char(%1)").arg(p.size);
    case FieldType::Memo:
        return QStringLiteral("text");
    case FieldType::Blob:
        return QStringLiteral("image");
    default:
        return QStringLiteral("?");
    }
}

// Every registered procedure: its name as it is called, then its parameters in call order, each
// with its type and, where it applies, "out", "in/out" or "обязательный".
int procedures(const QString &, const QStringList &args) {
    if (!args.isEmpty())
        throw UsageError{QStringLiteral("команда procedures не принимает значений")};
    printRow({QStringLiteral("Name"), QStringLiteral("Parameters")});
    for (const QString &name : ProcedureCatalogue::instance().names()) {
        const ProcedureDef *def = ProcedureCatalogue::instance().find(name);
        QStringList params;
        for (const Parameter &p : def->params) {
            QString text = p.name + u' ' + typeText(p);
            if (p.direction == ParamDirection::Output)
                text += QStringLiteral(" out");
            else if (p.direction == ParamDirection::InputOutput)
                text += QStringLiteral(" in/out");
            else if (p.required)
                text += QStringLiteral(" обязательный");
            params << text;
        }
        printRow({def->name + QStringLiteral(";1"), params.join(QStringLiteral(", "))});
    }
    return 0;
}

// The commands by name; each takes the database address and the rest of the command line.
struct ToolCommand {
    const char *name;
    int (*run)(const QString &url, const QStringList &args);
    bool needsDatabase;
};

int publishVersion(const QString &url, const QStringList &args) {
    Connection cn;
    openExisting(cn, url);
    return publish(cn, args);
}

int ping(const QString &url, const QStringList &args) {
    return NetworkCommand(QStringLiteral("ping"), url, args);
}

int scanDomain(const QString &url, const QStringList &args) {
    return NetworkCommand(QStringLiteral("scan-domain"), url, args);
}

int domains(const QString &url, const QStringList &args) {
    return NetworkCommand(QStringLiteral("domains"), url, args);
}

int checklistDefaults(const QString &url, const QStringList &args) {
    return NetworkCommand(QStringLiteral("checklist-defaults"), url, args);
}

int report(const QString &url, const QStringList &args) {
    return ReportCommand(
        args, [&](Connection &cn) { openExisting(cn, url); },
        [](const QString &message) { throw UsageError{message}; });
}

int labels(const QString &url, const QStringList &args) {
    return LabelsCommand(url, args, [](const QString &message) { throw UsageError{message}; });
}

int stocktake(const QString &url, const QStringList &args) {
    return StocktakeCommand(url, args, [](const QString &message) { throw UsageError{message}; });
}

int journal(const QString &url, const QStringList &args) {
    return JournalCommand(url, args, [](const QString &message) { throw UsageError{message}; });
}

int overview(const QString &url, const QStringList &args) {
    return OverviewCommand(url, args, [](const QString &message) { throw UsageError{message}; });
}

int copy(const QString &url, const QStringList &args) {
    return CopyCommand(url, args, [](const QString &message) { throw UsageError{message}; });
}

int importFile(const QString &url, const QStringList &args) {
    return ImportCommand(url, args, [](const QString &message) { throw UsageError{message}; });
}

int exportFile(const QString &url, const QStringList &args) {
    return ExportCommand(url, args, [](const QString &message) { throw UsageError{message}; });
}

const ToolCommand Commands[] = {
    {"create", create, true},
    {"call", call, true},
    {"sql", sql, true},
    {"publish", publishVersion, true},
    {"report", report, true},
    {"journal", journal, true},
    {"labels", labels, true},
    {"overview", overview, true},
    {"stocktake", stocktake, true},
    {"copy", copy, true},
    {"import", importFile, true},
    {"export", exportFile, true},
    {"ping", ping, true},
    {"scan-domain", scanDomain, true},
    {"domains", domains, true},
    {"checklist-defaults", checklistDefaults, true},
    {"procedures", procedures, false},
};

} // namespace

int main(int argc, char **argv) {
    ReadTimeZoneOnce();
    KeepFilesPrivate();
    const auto app = MakeToolApplication(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Korvant"));
    QCoreApplication::setApplicationName(QStringLiteral("Velmora"));
    InstallServer();

    QStringList args = app->arguments().mid(1);
    QString url;
    try {
        while (!args.isEmpty() && args.front().startsWith(QStringLiteral("--"))) {
            const QString option = args.takeFirst();
            if (option == u"--help") {
                WriteText(stdout, QString::fromUtf8(Usage));
                return 0;
            }
            if (option == u"--version") {
                WriteText(stdout, QStringLiteral("velmora-db %1\n").arg(GetFileVersionText(false)));
                return 0;
            }
            if (option == u"--database") {
                if (args.isEmpty() || args.front().isEmpty())
                    throw UsageError{QStringLiteral("после --database нужен адрес базы данных")};
                url = args.takeFirst();
                warnOfPassword(url);
            } else if (option.startsWith(QStringLiteral("--database="))) {
                url = option.mid(11);
                if (url.isEmpty())
                    throw UsageError{QStringLiteral("после --database нужен адрес базы данных")};
                warnOfPassword(url);
            } else {
                throw UsageError{QStringLiteral("неизвестный параметр: %1").arg(quoteInput(option))};
            }
        }
        if (args.isEmpty())
            throw UsageError{QStringLiteral("не указана команда")};
        const QString command = args.takeFirst();
        for (const ToolCommand &c : Commands)
            if (command == QLatin1String(c.name))
                return c.run(c.needsDatabase ? databaseUrl(url) : QString(), args);
        if (command == u"help" || command == u"-h") {
            WriteText(stdout, QString::fromUtf8(Usage));
            return 0;
        }
        throw UsageError{QStringLiteral("неизвестная команда: %1").arg(quoteInput(command))};
    } catch (const UsageError &e) {
        WriteText(stderr, QStringLiteral("velmora-db: %1\n\n").arg(e.message) + QString::fromUtf8(Usage));
        return ExitUsage;
    } catch (const AppError &e) {
        WriteText(stderr, QStringLiteral("velmora-db: %1\n").arg(e.message()));
        return ExitError;
    } catch (const std::exception &e) {
        WriteText(stderr, QStringLiteral("velmora-db: %1\n").arg(QString::fromLocal8Bit(e.what())));
        return ExitError;
    }
}
