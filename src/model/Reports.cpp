#include "model/Reports.h"

#include "data/Connection.h"
#include "data/Errors.h"
#include "data/SchemaInfo.h"
#include "data/TessalString.h"
#include "data/TessalSystem.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <deque>
#include <numeric>

namespace {

using FT = FieldType;

struct ReportKind {
    const char *name;
    const char *parameter;
};

// The report texts of the report server: the name, then "&rs:Command=Render&" + parameter + "=" + key.
const ReportKind Kinds[] = {
    {"device", "DV"},    {"workplace", "WP"},      {"last.move", ""},   {"prevention", ""},
    {"document", "DOC"}, {"computer.list", ""},    {"user.info", "ID"}, {"user.list", ""},
    {"mail.box", ""},    {"user.install", "User"},
};

// A name inside a title: one that holds right-to-left letters or direction marks is set apart
// (first strong isolate ... pop directional isolate), so that it cannot reorder the title around
// it, as an override character would. Plain names stay as they are.
QString isolated(const QString &name) {
    for (const QChar c : name) {
        const QChar::Direction d = c.direction();
        if (d == QChar::DirR || d == QChar::DirAL || d == QChar::DirRLE || d == QChar::DirRLO ||
            d == QChar::DirLRE || d == QChar::DirLRO || d == QChar::DirPDF || d == QChar::DirRLI ||
            d == QChar::DirLRI || d == QChar::DirFSI || d == QChar::DirPDI)
            return QChar(0x2068) + name + QChar(0x2069);
    }
    return name;
}

QString str(const ResultSet &rs, size_t row, const char *column) {
    return rs.value(row, QString::fromLatin1(column)).toString().trimmed();
}

QString dateText(const QVariant &v, bool withTime = false) {
    const QVariant d = normalizeValue(FT::DateTime, v);
    if (d.typeId() != QMetaType::QDateTime)
        return QString();
    return d.toDateTime().toString(withTime ? QStringLiteral("dd.MM.yyyy HH:mm")
                                            : QStringLiteral("dd.MM.yyyy"));
}

QString yesNo(const QVariant &v) {
    return normalizeValue(FT::Boolean, v).toBool() ? QStringLiteral("да") : QString();
}

QString money(const QVariant &v) {
    return v.isNull() ? QString() : FormatText(QStringLiteral("%m"), {TypedValue::Currency(v.toString())});
}

QString numbers(const ResultSet &rs, size_t row) {
    return JoinedText(
        {str(rs, row, "NumberManufact"), str(rs, row, "CmplNumber"), str(rs, row, "NumberSeller")},
        QStringLiteral(" / "));
}

ResultSet keyed(Connection &cn, const QString &sql, int key) {
    return cn.query(sql, {{QStringLiteral("K"), key}});
}

void requireRow(const ResultSet &rs, const QString &what, int key) {
    if (rs.rows.empty())
        throw AppError(
            QStringLiteral("Запись не найдена (%1, ключ %2): возможно, её удалили на другом рабочем месте")
                .arg(what)
                .arg(key));
}

// Elements with their kind and model, as the device and workplace reports list them.
const char *ElementSelect = "c.IdComponent, c.CmplDateSet, c.CmplNumber, c.NumberManufact, c.NumberSeller, "
                            "m.ModlName, k.KindName, k.KindType";
const char *ElementJoins = "LEFT JOIN Model m ON m.IdModel = c.CmplIdModel "
                           "LEFT JOIN Kind k ON k.IdKind = coalesce(m.ModlKind, c.ModelKind)";

// A device: where it stands, then its complete set (code, kind, model, numbers, installed).
ReportTable deviceReport(Connection &cn, int key) {
    const ResultSet head =
        keyed(cn,
              QStringLiteral("SELECT d.DevcName, d.DevcNumber, d.Domain, w.WrkpName, p.DprtName, "
                             "k.KindName FROM DeviceUnit d "
                             "LEFT JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace "
                             "LEFT JOIN Department p ON p.IdDepartment = w.WrkpIdDepartment "
                             "LEFT JOIN Kind k ON k.IdKind = d.DevcIdKind WHERE d.IdDevice = :K"),
              key);
    requireRow(head, QStringLiteral("устройство"), key);
    ReportTable r;
    r.title = QStringLiteral("Устройство «%1»").arg(isolated(str(head, 0, "DevcName")));
    r.lines << QStringLiteral("Подразделение: ") + str(head, 0, "DprtName")
            << QStringLiteral("Рабочее место: ") + str(head, 0, "WrkpName");
    if (!str(head, 0, "KindName").isEmpty())
        r.lines << QStringLiteral("Тип: ") + str(head, 0, "KindName");
    if (!str(head, 0, "DevcNumber").isEmpty())
        r.lines << QStringLiteral("Инвентарный номер: ") + str(head, 0, "DevcNumber");
    if (!str(head, 0, "Domain").isEmpty())
        r.lines << QStringLiteral("Сетевое имя: ") + str(head, 0, "Domain");
    r.columns = {{QStringLiteral("Код"), 0.8},
                 {QStringLiteral("Тип"), 1.6},
                 {QStringLiteral("Модель"), 3},
                 {QStringLiteral("Номер"), 2},
                 {QStringLiteral("Установлен"), 1.1, Qt::AlignHCenter}};
    const ResultSet rs =
        keyed(cn,
              QStringLiteral("SELECT %1 FROM CompleteSet c %2 WHERE c.CmplIdDevice = :K "
                             "ORDER BY k.KindType, k.KindOrder, c.IdComponent")
                  .arg(QString::fromLatin1(ElementSelect), QString::fromLatin1(ElementJoins)),
              key);
    for (size_t i = 0; i < rs.rows.size(); ++i)
        r.rows.push_back({ElementCodeText(rs.value(i, QStringLiteral("IdComponent")).toLongLong()),
                          str(rs, i, "KindName"), str(rs, i, "ModlName"), numbers(rs, i),
                          dateText(rs.value(i, QStringLiteral("CmplDateSet")))});
    return r;
}

// A workplace: its devices, each with its elements (device, code, kind, model, numbers).
ReportTable workplaceReport(Connection &cn, int key) {
    const ResultSet head =
        keyed(cn,
              QStringLiteral("SELECT w.WrkpName, w.Phone, p.DprtName FROM Workplace w "
                             "LEFT JOIN Department p ON p.IdDepartment = w.WrkpIdDepartment "
                             "WHERE w.IdWorkplace = :K"),
              key);
    requireRow(head, QStringLiteral("рабочее место"), key);
    ReportTable r;
    r.title = QStringLiteral("Рабочее место «%1»").arg(isolated(str(head, 0, "WrkpName")));
    r.lines << QStringLiteral("Подразделение: ") + str(head, 0, "DprtName");
    if (!str(head, 0, "Phone").isEmpty())
        r.lines << QStringLiteral("Телефон: ") + str(head, 0, "Phone");
    r.columns = {{QStringLiteral("Устройство"), 2},
                 {QStringLiteral("Код"), 0.8},
                 {QStringLiteral("Тип"), 1.5},
                 {QStringLiteral("Модель"), 2.6},
                 {QStringLiteral("Номер"), 1.8}};
    ResultSet rs = keyed(cn,
                         QStringLiteral("SELECT d.IdDevice, d.DevcName, %1 FROM DeviceUnit d "
                                        "LEFT JOIN CompleteSet c ON c.CmplIdDevice = d.IdDevice %2 "
                                        "WHERE d.DevcIdWorkplace = :K "
                                        "ORDER BY d.IdDevice, k.KindType, k.KindOrder, c.IdComponent")
                             .arg(QString::fromLatin1(ElementSelect), QString::fromLatin1(ElementJoins)),
                         key);
    // The devices in the program's order of names, whatever the server's collation; each
    // device's elements stay in their order.
    rs.sortByText(QStringLiteral("DevcName"), QStringLiteral("IdDevice"));
    QVariant lastDevice;
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        const QVariant device = rs.value(i, QStringLiteral("IdDevice"));
        // The device's name stands on its first row only.
        const QString name = device == lastDevice ? QString() : str(rs, i, "DevcName");
        lastDevice = device;
        const QVariant element = rs.value(i, QStringLiteral("IdComponent"));
        r.rows.push_back({name, element.isNull() ? QString() : ElementCodeText(element.toLongLong()),
                          str(rs, i, "KindName"), str(rs, i, "ModlName"), numbers(rs, i)});
    }
    return r;
}

// The latest moves of elements, newest first: when, which element, where it stood before the move
// (the history keeps the place an element left) and where it stands now.
ReportTable lastMoveReport(Connection &cn) {
    constexpr int Limit = 500;
    ReportTable r;
    r.title = QStringLiteral("Последние перемещения");
    r.landscape = true;
    r.columns = {{QStringLiteral("Дата"), 1.6, Qt::AlignHCenter},
                 {QStringLiteral("Код"), 0.7},
                 {QStringLiteral("Тип"), 1.3},
                 {QStringLiteral("Модель"), 2.2},
                 {QStringLiteral("Откуда"), 2.6},
                 {QStringLiteral("Где сейчас"), 2.6}};
    const ResultSet rs =
        cn.query(QStringLiteral("SELECT e.Moving, e.IdComponent, e.Place, m.ModlName, k.KindName, "
                                "p.DprtName, w.WrkpName, d.DevcName "
                                "FROM ElementMove e JOIN CompleteSet c ON c.IdComponent = e.IdComponent "
                                "%1 LEFT JOIN DeviceUnit d ON d.IdDevice = c.CmplIdDevice "
                                "LEFT JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace "
                                "LEFT JOIN Department p ON p.IdDepartment = w.WrkpIdDepartment "
                                "ORDER BY e.Moving DESC, e.ID DESC LIMIT %2")
                     .arg(QString::fromLatin1(ElementJoins))
                     .arg(Limit));
    for (size_t i = 0; i < rs.rows.size(); ++i)
        r.rows.push_back({dateText(rs.value(i, QStringLiteral("Moving")), true),
                          ElementCodeText(rs.value(i, QStringLiteral("IdComponent")).toLongLong()),
                          str(rs, i, "KindName"), str(rs, i, "ModlName"), str(rs, i, "Place"),
                          JoinedText({str(rs, i, "DprtName"), str(rs, i, "WrkpName"), str(rs, i, "DevcName")},
                                     QStringLiteral(" / "))});
    if (r.rows.size() >= size_t(Limit))
        r.lines << QStringLiteral("Последние %1 перемещений").arg(Limit);
    return r;
}

// Every device with its last prevention, the longest unserviced first (never serviced at the top).
ReportTable preventionReport(Connection &cn) {
    ReportTable r;
    r.title = QStringLiteral("Профилактика");
    r.columns = {{QStringLiteral("Подразделение"), 2.2},
                 {QStringLiteral("Рабочее место"), 2},
                 {QStringLiteral("Устройство"), 2},
                 {QStringLiteral("Профилактика"), 1.2, Qt::AlignHCenter},
                 {QStringLiteral("Экспресс"), 0.8, Qt::AlignHCenter},
                 {QStringLiteral("Нужна"), 0.7, Qt::AlignHCenter}};
    // Sorted here rather than by the database: names go in the program's one order of names
    // (CompareText), whatever the server's collation, and the server is spared the sort.
    const ResultSet rs = cn.query(QStringLiteral(
        "SELECT p.DprtName, w.WrkpName, d.DevcName, d.Prevention, d.PreventionExpress, d.PreventionNeed, "
        "d.IdDevice FROM DeviceUnit d JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace "
        "JOIN Department p ON p.IdDepartment = w.WrkpIdDepartment"));
    // The names are read from the rows once: the sort compares them many times over.
    static const QString none;
    std::deque<QString> converted; // a name the driver gave as something else than text
    auto textOf = [&](const QVariant &v) {
        if (v.typeId() == QMetaType::QString)
            return static_cast<const QString *>(v.constData());
        return v.isNull() ? &none : &converted.emplace_back(v.toString());
    };
    struct Line {
        qint64 when; // -1 for never serviced, then the day and time as written
        qint64 id;
        const QString *names[3]; // the department's, the workplace's and the device's, in the rows
        int day;                 // in dayTexts, -1 for none
        bool express, need;
    };
    std::vector<Line> lines;
    lines.reserve(rs.rows.size());
    // Few distinct days among many devices: each day's text is made once.
    QHash<qint64, int> days;
    std::vector<QString> dayTexts;
    auto flag = [](const QVariant &v) {
        return v.typeId() == QMetaType::Bool ? v.toBool() : normalizeValue(FT::Boolean, v).toBool();
    };
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        const auto &row = rs.rows[i];
        Line line{row[3].isNull() ? -1 : 0,
                  row[6].toLongLong(),
                  {textOf(row[0]), textOf(row[1]), textOf(row[2])},
                  -1,
                  flag(row[4]),
                  flag(row[5])};
        if (const QVariant d = normalizeValue(FT::DateTime, row[3]); d.typeId() == QMetaType::QDateTime) {
            const QDateTime moment = d.toDateTime();
            const QDate date = moment.date();
            line.when = date.toJulianDay() * 86400000 + moment.time().msecsSinceStartOfDay();
            auto it = days.constFind(date.toJulianDay());
            if (it == days.constEnd()) {
                it = days.insert(date.toJulianDay(), int(dayTexts.size()));
                dayTexts.push_back(date.toString(QStringLiteral("dd.MM.yyyy")));
            }
            line.day = *it;
        }
        lines.push_back(line);
    }
    // Never serviced first, then by the day, the names and the key.
    std::sort(lines.begin(), lines.end(), [](const Line &x, const Line &y) {
        if (x.when != y.when)
            return x.when < y.when;
        for (int c = 0; c < 3; ++c)
            if (x.names[c] != y.names[c])
                if (const int order = CompareText(*x.names[c], *y.names[c]))
                    return order < 0;
        return x.id < y.id;
    });
    // The lines' names are copied in the order of the lines, a name the line before has too shared
    // with it: the layout then reads the texts one after another in memory instead of jumping
    // through the fetched rows for every character, which for 100 000 lines took longer than
    // the reading itself.
    r.rows.reserve(rs.rows.size());
    const QString yes = QStringLiteral("да");
    QString previous[3];
    for (const Line &line : lines) {
        for (int c = 0; c < 3; ++c)
            if (const QString &name = *line.names[c]; name != previous[c])
                previous[c] = QString(name.constData(), name.size());
        r.rows.push_back({previous[0], previous[1], previous[2],
                          line.day < 0 ? QString() : dayTexts[size_t(line.day)],
                          line.express ? yes : QString(), line.need ? yes : QString()});
    }
    return r;
}

// An incoming document: its supplier and its positions with prices and the exact total.
ReportTable documentReport(Connection &cn, int key) {
    const ResultSet head =
        keyed(cn,
              QStringLiteral("SELECT doc.DocNumber, doc.DocDate, doc.Note, dk.Name AS KindName, "
                             "cl.DisplayName FROM Document doc "
                             "LEFT JOIN DocKind dk ON dk.ID = doc.DocKind "
                             "LEFT JOIN Client cl ON cl.IdClient = doc.DocClient "
                             "WHERE doc.IdDocument = :K"),
              key);
    requireRow(head, QStringLiteral("документ"), key);
    ReportTable r;
    const QString number = str(head, 0, "DocNumber");
    r.title = JoinedText({str(head, 0, "KindName"),
                          number.isEmpty() ? QStringLiteral("б/н") : QStringLiteral("№ ") + number,
                          dateText(head.value(0, QStringLiteral("DocDate"))).isEmpty()
                              ? QString()
                              : QStringLiteral("от ") + dateText(head.value(0, QStringLiteral("DocDate")))},
                         QStringLiteral(" "));
    r.lines << QStringLiteral("Поставщик: ") + str(head, 0, "DisplayName");
    if (!str(head, 0, "Note").isEmpty())
        r.lines << QStringLiteral("Примечание: ") + str(head, 0, "Note");
    r.columns = {{QStringLiteral("№"), 0.5, Qt::AlignHCenter},
                 {QStringLiteral("Код"), 0.8},
                 {QStringLiteral("Тип"), 1.4},
                 {QStringLiteral("Модель"), 2.6},
                 {QStringLiteral("Номер"), 1.8},
                 {QStringLiteral("Цена"), 1.2, Qt::AlignRight}};
    const ResultSet rs =
        keyed(cn,
              QStringLiteral("SELECT c.DocumentPosition, c.Price, %1 FROM CompleteSet c %2 "
                             "WHERE c.DocumentId = :K ORDER BY CASE WHEN c.DocumentPosition IS NULL "
                             "THEN 1 ELSE 0 END, c.DocumentPosition, c.IdComponent")
                  .arg(QString::fromLatin1(ElementSelect), QString::fromLatin1(ElementJoins)),
              key);
    qint64 total = 0;
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        const QVariant price = normalizeValue(FT::Money, rs.value(i, QStringLiteral("Price")));
        total += Money::toUnits(price);
        r.rows.push_back({str(rs, i, "DocumentPosition"),
                          ElementCodeText(rs.value(i, QStringLiteral("IdComponent")).toLongLong()),
                          str(rs, i, "KindName"), str(rs, i, "ModlName"), numbers(rs, i), money(price)});
    }
    r.totals
        << QStringLiteral("Позиций: %1, сумма: %2").arg(rs.rows.size()).arg(money(Money::fromUnits(total)));
    return r;
}

// The devices with a network name: name, device, workplace, department.
ReportTable computerListReport(Connection &cn) {
    ReportTable r;
    r.title = QStringLiteral("Список компьютеров");
    r.columns = {{QStringLiteral("Сетевое имя"), 1.6},
                 {QStringLiteral("Устройство"), 2},
                 {QStringLiteral("Рабочее место"), 2},
                 {QStringLiteral("Подразделение"), 2.2}};
    ResultSet rs = cn.query(QStringLiteral(
        "SELECT d.Domain, d.DevcName, w.WrkpName, p.DprtName, d.IdDevice FROM DeviceUnit d "
        "JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace JOIN Department p ON p.IdDepartment = "
        "w.WrkpIdDepartment WHERE d.Domain IS NOT NULL AND d.Domain <> ''"));
    rs.sortByText(0, 4);
    for (const auto &row : rs.rows)
        r.rows.push_back({row[0].toString(), row[1].toString(), row[2].toString(), row[3].toString()});
    return r;
}

// A user's card: names, account, mail and messenger (no passwords: a printed card goes round),
// then the workplaces and computers the user has.
ReportTable userInfoReport(Connection &cn, int key) {
    const ResultSet head =
        keyed(cn,
              QStringLiteral("SELECT Name, AddName, ShortName, Login, Domain, EMail, EMailGroup, "
                             "SkypeLogin FROM [User] WHERE ID = :K"),
              key);
    requireRow(head, QStringLiteral("пользователь"), key);
    ReportTable r;
    r.title = QStringLiteral("Пользователь «%1»").arg(isolated(str(head, 0, "Name")));
    const QString account = JoinedText({str(head, 0, "Domain"), str(head, 0, "Login")}, QStringLiteral("\\"));
    for (const auto &[label, value] :
         {std::pair{QStringLiteral("Полное имя: "), str(head, 0, "AddName")},
          std::pair{QStringLiteral("Краткое имя: "), str(head, 0, "ShortName")},
          std::pair{QStringLiteral("Учётная запись: "), account},
          std::pair{QStringLiteral("Почта: "),
                    JoinedText({str(head, 0, "EMail"), str(head, 0, "EMailGroup")}, QStringLiteral(", "))},
          std::pair{QStringLiteral("Skype: "), str(head, 0, "SkypeLogin")}})
        if (!value.isEmpty())
            r.lines << label + value;
    r.columns = {
        {QStringLiteral("Что"), 1.2}, {QStringLiteral("Название"), 2.5}, {QStringLiteral("Где"), 3.5}};
    ResultSet places = keyed(cn,
                             QStringLiteral("SELECT w.WrkpName, p.DprtName, w.IdWorkplace FROM Workplace w "
                                            "LEFT JOIN Department p ON p.IdDepartment = w.WrkpIdDepartment "
                                            "WHERE w.[User] = :K"),
                             key);
    places.sortByText(0, 2);
    for (size_t i = 0; i < places.rows.size(); ++i)
        r.rows.push_back(
            {QStringLiteral("Рабочее место"), str(places, i, "WrkpName"), str(places, i, "DprtName")});
    ResultSet computers = keyed(cn,
                                QStringLiteral("SELECT d.DevcName, d.Domain, w.WrkpName, d.IdDevice FROM "
                                               "UseComputer u JOIN DeviceUnit d ON d.IdDevice = u.Computer "
                                               "LEFT JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace "
                                               "WHERE u.[User] = :K"),
                                key);
    computers.sortByText(0, 3);
    for (size_t i = 0; i < computers.rows.size(); ++i)
        r.rows.push_back(
            {QStringLiteral("Компьютер"),
             JoinedText({str(computers, i, "DevcName"), str(computers, i, "Domain")}, QStringLiteral(", ")),
             str(computers, i, "WrkpName")});
    return r;
}

// Every user: name, account, mail, workplace.
ReportTable userListReport(Connection &cn) {
    ReportTable r;
    r.title = QStringLiteral("Список пользователей");
    r.columns = {{QStringLiteral("Пользователь"), 2.4},
                 {QStringLiteral("Учётная запись"), 1.6},
                 {QStringLiteral("Почта"), 2},
                 {QStringLiteral("Рабочее место"), 2}};
    ResultSet rs =
        cn.query(QStringLiteral("SELECT u.ID, u.Name, u.Login, u.Domain, u.EMail, w.WrkpName FROM [User] u "
                                "LEFT JOIN Workplace w ON w.[User] = u.ID"));
    // By name and key, a user's workplaces by their names.
    rs.sortByText(5, -1);
    rs.sortByText(1, 0);
    for (size_t i = 0; i < rs.rows.size(); ++i)
        r.rows.push_back({str(rs, i, "Name"),
                          JoinedText({str(rs, i, "Domain"), str(rs, i, "Login")}, QStringLiteral("\\")),
                          str(rs, i, "EMail"), str(rs, i, "WrkpName")});
    return r;
}

// The users with a mail box: name, address, group.
ReportTable mailBoxReport(Connection &cn) {
    ReportTable r;
    r.title = QStringLiteral("Внешние почтовые ящики");
    r.columns = {{QStringLiteral("Пользователь"), 2.6},
                 {QStringLiteral("Почтовый ящик"), 2.4},
                 {QStringLiteral("Группа"), 2}};
    ResultSet rs = cn.query(QStringLiteral(
        "SELECT Name, EMail, EMailGroup, ID FROM [User] WHERE EMail IS NOT NULL AND EMail <> ''"));
    rs.sortByText(0, 3);
    for (const auto &row : rs.rows)
        r.rows.push_back({row[0].toString(), row[1].toString(), row[2].toString()});
    return r;
}

// A user's setup checklist: the lines in order, headings marked, done items ticked.
ReportTable userInstallReport(Connection &cn, int key) {
    const ResultSet head = keyed(cn, QStringLiteral("SELECT Name FROM [User] WHERE ID = :K"), key);
    requireRow(head, QStringLiteral("пользователь"), key);
    ReportTable r;
    r.title = QStringLiteral("Настройка компьютера: «%1»").arg(isolated(str(head, 0, "Name")));
    r.columns = {{QStringLiteral("№"), 0.5, Qt::AlignHCenter},
                 {QStringLiteral("Пункт"), 5},
                 {QStringLiteral("Выполнено"), 1, Qt::AlignHCenter}};
    const ResultSet rs =
        keyed(cn,
              QStringLiteral("SELECT Line, Title, Name, Done FROM UserInstall WHERE [User] = :K "
                             "ORDER BY Line, ID"),
              key);
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        const bool title = normalizeValue(FT::Boolean, rs.value(i, QStringLiteral("Title"))).toBool();
        r.rows.push_back({str(rs, i, "Line"), title ? str(rs, i, "Name").toUpper() : str(rs, i, "Name"),
                          title ? QString() : yesNo(rs.value(i, QStringLiteral("Done")))});
    }
    return r;
}

} // namespace

QString ElementCodeText(qint64 id) {
    return QString::number(id, 16).toUpper().rightJustified(4, u'0');
}

QStringList ReportNames() {
    QStringList names;
    for (const ReportKind &k : Kinds)
        names << QString::fromLatin1(k.name);
    return names;
}

QString ReportParameter(const QString &name) {
    for (const ReportKind &k : Kinds)
        if (name == QLatin1String(k.name))
            return QString::fromLatin1(k.parameter);
    return QString();
}

bool ParseReportText(const QString &text, QString *name, int *key) {
    const qsizetype amp = text.indexOf(u'&');
    const QString n = amp < 0 ? text : text.left(amp);
    if (!ReportNames().contains(n))
        return false;
    int k = -1;
    const QString parameter = ReportParameter(n);
    if (!parameter.isEmpty()) {
        const QString marker = QStringLiteral("&") + parameter + QStringLiteral("=");
        const qsizetype at = text.lastIndexOf(marker);
        bool ok = false;
        if (at >= 0)
            k = text.mid(at + marker.size()).toInt(&ok);
        if (!ok)
            k = -1;
    }
    if (name)
        *name = n;
    if (key)
        *key = k;
    return true;
}

ReportTable BuildReport(Connection &cn, const QString &name, int key) {
    if (!ReportNames().contains(name))
        throw AppError(QStringLiteral("Неизвестный отчёт «%1». Отчёты: %2")
                           .arg(name, ReportNames().join(QStringLiteral(", "))));
    if (!ReportParameter(name).isEmpty() && key < 0)
        throw AppError(QStringLiteral("Для отчёта «%1» нужен ключ записи").arg(name));
    ReportTable r;
    if (name == u"device")
        r = deviceReport(cn, key);
    else if (name == u"workplace")
        r = workplaceReport(cn, key);
    else if (name == u"last.move")
        r = lastMoveReport(cn);
    else if (name == u"prevention")
        r = preventionReport(cn);
    else if (name == u"document")
        r = documentReport(cn, key);
    else if (name == u"computer.list")
        r = computerListReport(cn);
    else if (name == u"user.info")
        r = userInfoReport(cn, key);
    else if (name == u"user.list")
        r = userListReport(cn);
    else if (name == u"mail.box")
        r = mailBoxReport(cn);
    else
        r = userInstallReport(cn, key);
    r.name = name;
    r.made = QDateTime::currentDateTime();
    return r;
}
