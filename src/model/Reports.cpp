#include "Reports.h"

#include "Connection.h"
#include "Errors.h"
#include "SchemaInfo.h"
#include "TessalString.h"
#include "TessalSystem.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHash>
#include <QPaintEngine>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>

#include <algorithm>

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
    r.title = QStringLiteral("Устройство «%1»").arg(str(head, 0, "DevcName"));
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
    r.title = QStringLiteral("Рабочее место «%1»").arg(str(head, 0, "WrkpName"));
    r.lines << QStringLiteral("Подразделение: ") + str(head, 0, "DprtName");
    if (!str(head, 0, "Phone").isEmpty())
        r.lines << QStringLiteral("Телефон: ") + str(head, 0, "Phone");
    r.columns = {{QStringLiteral("Устройство"), 2},
                 {QStringLiteral("Код"), 0.8},
                 {QStringLiteral("Тип"), 1.5},
                 {QStringLiteral("Модель"), 2.6},
                 {QStringLiteral("Номер"), 1.8}};
    const ResultSet rs =
        keyed(cn,
              QStringLiteral("SELECT d.IdDevice, d.DevcName, %1 FROM DeviceUnit d "
                             "LEFT JOIN CompleteSet c ON c.CmplIdDevice = d.IdDevice %2 "
                             "WHERE d.DevcIdWorkplace = :K "
                             "ORDER BY d.DevcName, d.IdDevice, k.KindType, k.KindOrder, c.IdComponent")
                  .arg(QString::fromLatin1(ElementSelect), QString::fromLatin1(ElementJoins)),
              key);
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
    const ResultSet rs = cn.query(QStringLiteral(
        "SELECT p.DprtName, w.WrkpName, d.DevcName, d.Prevention, d.PreventionExpress, d.PreventionNeed "
        "FROM DeviceUnit d JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace "
        "JOIN Department p ON p.IdDepartment = w.WrkpIdDepartment "
        "ORDER BY CASE WHEN d.Prevention IS NULL THEN 0 ELSE 1 END, d.Prevention, p.DprtName, w.WrkpName, "
        "d.DevcName, d.IdDevice"));
    r.rows.reserve(rs.rows.size());
    // Few distinct days among many devices: each day's text is made once.
    QHash<qint64, QString> days;
    const QString yes = QStringLiteral("да");
    for (const auto &row : rs.rows) {
        QString day;
        if (const QVariant d = normalizeValue(FT::DateTime, row[3]); d.typeId() == QMetaType::QDateTime) {
            const QDate date = d.toDateTime().date();
            auto it = days.constFind(date.toJulianDay());
            if (it == days.constEnd())
                it = days.insert(date.toJulianDay(), date.toString(QStringLiteral("dd.MM.yyyy")));
            day = *it;
        }
        r.rows.push_back({row[0].toString(), row[1].toString(), row[2].toString(), day,
                          normalizeValue(FT::Boolean, row[4]).toBool() ? yes : QString(),
                          normalizeValue(FT::Boolean, row[5]).toBool() ? yes : QString()});
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
    const ResultSet rs = cn.query(QStringLiteral(
        "SELECT d.Domain, d.DevcName, w.WrkpName, p.DprtName FROM DeviceUnit d "
        "JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace JOIN Department p ON p.IdDepartment = "
        "w.WrkpIdDepartment WHERE d.Domain IS NOT NULL AND d.Domain <> '' ORDER BY d.Domain, d.IdDevice"));
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
    r.title = QStringLiteral("Пользователь «%1»").arg(str(head, 0, "Name"));
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
    const ResultSet places =
        keyed(cn,
              QStringLiteral("SELECT w.WrkpName, p.DprtName FROM Workplace w "
                             "LEFT JOIN Department p ON p.IdDepartment = w.WrkpIdDepartment "
                             "WHERE w.[User] = :K ORDER BY w.WrkpName, w.IdWorkplace"),
              key);
    for (size_t i = 0; i < places.rows.size(); ++i)
        r.rows.push_back(
            {QStringLiteral("Рабочее место"), str(places, i, "WrkpName"), str(places, i, "DprtName")});
    const ResultSet computers =
        keyed(cn,
              QStringLiteral("SELECT d.DevcName, d.Domain, w.WrkpName FROM UseComputer u "
                             "JOIN DeviceUnit d ON d.IdDevice = u.Computer "
                             "LEFT JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace "
                             "WHERE u.[User] = :K ORDER BY d.DevcName, d.IdDevice"),
              key);
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
    const ResultSet rs = cn.query(
        QStringLiteral("SELECT u.ID, u.Name, u.Login, u.Domain, u.EMail, w.WrkpName FROM [User] u "
                       "LEFT JOIN Workplace w ON w.[User] = u.ID ORDER BY u.Name, u.ID, w.WrkpName"));
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
    const ResultSet rs =
        cn.query(QStringLiteral("SELECT Name, EMail, EMailGroup FROM [User] "
                                "WHERE EMail IS NOT NULL AND EMail <> '' ORDER BY Name, ID"));
    for (const auto &row : rs.rows)
        r.rows.push_back({row[0].toString(), row[1].toString(), row[2].toString()});
    return r;
}

// A user's setup checklist: the lines in order, headings marked, done items ticked.
ReportTable userInstallReport(Connection &cn, int key) {
    const ResultSet head = keyed(cn, QStringLiteral("SELECT Name FROM [User] WHERE ID = :K"), key);
    requireRow(head, QStringLiteral("пользователь"), key);
    ReportTable r;
    r.title = QStringLiteral("Настройка компьютера: «%1»").arg(str(head, 0, "Name"));
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

namespace {

// The table's cells set as glyphs of one font, without a text layout per cell: each character's
// glyph and advance are looked up once, a cell too wide for its column is cut with "…", and the
// cells of a whole page go to the device as one glyph run. A cell this cannot set faithfully
// (a character the font lacks, right-to-left script, combining marks) is drawn as text instead.
class CellSetter {
public:
    CellSetter(const QFont &font, QPaintDevice &device)
        : m_font(QRawFont::fromFont(QFont(font, &device))), m_metrics(font, &device),
          m_chars(size_t(0x10000)) {
        m_ellipsis = lookUp(QChar(0x2026));
        if (m_ellipsis.glyph == 0)
            m_ellipsis = Glyph{};
    }

    bool usable() const { return m_font.isValid(); }
    double ascent() const { return m_font.ascent(); }
    double height() const { return m_font.ascent() + m_font.descent(); }

    // Adds the text, cut to the width, aligned in [left, left + width) on the baseline; false when
    // the text needs the text layout (nothing added then).
    bool add(const QString &text, double left, double width, double baseline, Qt::Alignment alignment) {
        const size_t start = m_glyphs.size();
        double x = 0;
        bool cut = false;
        const qsizetype n = text.size();
        for (qsizetype i = 0; i < n; ++i) {
            const Glyph &g = glyph(text.at(i));
            if (!g.simple) {
                m_glyphs.resize(start);
                m_positions.resize(start);
                return false;
            }
            if (x + g.advance > width) {
                cut = true;
                break;
            }
            m_glyphs.push_back(g.glyph);
            m_positions.emplace_back(x, baseline);
            x += g.advance;
        }
        if (cut) {
            // As many characters as leave room for the ellipsis.
            while (m_glyphs.size() > start && x + m_ellipsis.advance > width) {
                m_glyphs.pop_back();
                x = m_positions.back().x();
                m_positions.pop_back();
            }
            if (m_ellipsis.glyph != 0 && x + m_ellipsis.advance <= width) {
                m_glyphs.push_back(m_ellipsis.glyph);
                m_positions.emplace_back(x, baseline);
                x += m_ellipsis.advance;
            }
        }
        double shift = left;
        if (alignment & Qt::AlignRight)
            shift += width - x;
        else if (alignment & Qt::AlignHCenter)
            shift += (width - x) / 2;
        // Whole device pixels (a tenth of a millimetre at most on paper): the writer then puts
        // each glyph's place as a short integer, which makes a long report markedly quicker to write.
        for (size_t i = start; i < m_positions.size(); ++i)
            m_positions[i] = QPointF(std::round(m_positions[i].x() + shift), std::round(baseline));
        return true;
    }

    // Draws what was added since the last flush.
    void flush(QPainter &p) {
        if (m_glyphs.empty())
            return;
        QGlyphRun run;
        run.setRawFont(m_font);
        run.setRawData(m_glyphs.data(), m_positions.data(), int(m_glyphs.size()));
        p.drawGlyphRun(QPointF(0, 0), run);
        m_glyphs.clear();
        m_positions.clear();
    }

    // The text layout's way, for the cells add() refuses: cut to the width and aligned.
    void drawText(QPainter &p, const QString &text, const QRectF &cell, Qt::Alignment alignment) const {
        p.drawText(cell, int(Qt::AlignVCenter | alignment),
                   m_metrics.elidedText(text, Qt::ElideRight, cell.width()));
    }

private:
    struct Glyph {
        quint32 glyph = 0;
        double advance = 0;
        bool simple = false; // set with the glyph and its advance, left to right
        bool known = false;
    };

    Glyph lookUp(QChar c) const {
        Glyph g;
        g.known = true;
        const QChar::Category category = c.category();
        const QChar::Direction direction = c.direction();
        if (c.isSurrogate() || category == QChar::Mark_NonSpacing ||
            category == QChar::Mark_SpacingCombining || category == QChar::Mark_Enclosing ||
            direction == QChar::DirR || direction == QChar::DirAL || direction == QChar::DirRLE ||
            direction == QChar::DirRLO || direction == QChar::DirRLI)
            return g;
        // Control characters (a tab or line break in a value) stand as a blank.
        const QChar shown = category == QChar::Other_Control || category == QChar::Separator_Line ||
                                    category == QChar::Separator_Paragraph
                                ? QChar(u' ')
                                : c;
        int count = 1;
        if (!m_font.glyphIndexesForChars(&shown, 1, &g.glyph, &count) || count != 1 || g.glyph == 0)
            return g;
        QPointF advance;
        if (!m_font.advancesForGlyphIndexes(&g.glyph, &advance, 1))
            return g;
        g.advance = advance.x();
        g.simple = true;
        return g;
    }

    const Glyph &glyph(QChar c) {
        Glyph &g = m_chars[c.unicode()];
        if (!g.known)
            g = lookUp(c);
        return g;
    }

    QRawFont m_font;
    QFontMetricsF m_metrics;
    std::vector<Glyph> m_chars; // by UTF-16 code unit, looked up on first use
    Glyph m_ellipsis;
    std::vector<quint32> m_glyphs;
    std::vector<QPointF> m_positions;
};

} // namespace

void RenderReport(const ReportTable &report, QPagedPaintDevice &device) {
    // The PDF writer takes and frees two page buffers of 10 MB for every page it compresses.
    KeepFreedMemoryForReuse();
    QPainter p;
    if (!p.begin(&device))
        throw AppError(QStringLiteral("Не удалось начать печать отчёта «%1»").arg(report.title));
    const double dpi = device.logicalDpiY();
    const QRectF page(0, 0, device.width(), device.height());

    QFont regular(QStringLiteral("DejaVu Sans"));
    regular.setPointSizeF(9);
    QFont bold = regular;
    bold.setBold(true);
    QFont heading = bold;
    heading.setPointSizeF(14);
    p.setFont(regular);
    const QFontMetricsF rm(regular, &device), hm(heading, &device);

    const double rowHeight = rm.height() * 1.35;
    const double footerHeight = rm.height() * 2;
    const double cellPad = dpi * 0.03;

    // The cells are set as glyph runs where the device keeps them as text (a PDF file, a printer);
    // a preview records pages as pictures, which keep text items only with their characters.
    const bool glyphRuns = p.paintEngine() && p.paintEngine()->type() == QPaintEngine::Pdf;
    CellSetter cells(regular, device), titles(bold, device);
    auto setCell = [&](CellSetter &setter, const QString &text, const QRectF &cell, Qt::Alignment alignment) {
        if (text.isEmpty())
            return;
        if (glyphRuns && setter.usable() &&
            setter.add(text, cell.left(), cell.width(),
                       cell.top() + (cell.height() - setter.height()) / 2 + setter.ascent(), alignment))
            return;
        setter.drawText(p, text, cell, alignment);
    };

    // The first page's head: title, date, lines.
    const double headHeight =
        hm.height() * 1.4 + rm.height() * 1.3 * (1 + report.lines.size()) + rowHeight * 0.5;
    const double tableTop1 = headHeight;
    const double bottom = page.height() - footerHeight;
    const int firstRows = qMax(1, int((bottom - tableTop1 - rowHeight) / rowHeight));
    const int otherRows = qMax(1, int((bottom - rowHeight) / rowHeight));
    const int dataRows = qMax<int>(1, int(report.rows.size())); // an empty report says so on one row
    const int totalsRows = int(report.totals.size());
    const int allRows = dataRows + totalsRows;
    const int pages = allRows <= firstRows ? 1 : 1 + (allRows - firstRows + otherRows - 1) / otherRows;

    // Column edges from their shares of the width; each cell's text box inside its padding.
    double shares = 0;
    for (const ReportColumn &c : report.columns)
        shares += c.width;
    QVector<double> left;
    double x = 0;
    for (const ReportColumn &c : report.columns) {
        left << x;
        x += shares > 0 ? page.width() * c.width / shares : 0;
    }
    left << page.width();
    auto cellBox = [&](int c, double y) {
        return QRectF(left[c] + cellPad, y, left[c + 1] - left[c] - 2 * cellPad, rowHeight);
    };

    auto drawTitles = [&](double y) {
        p.setFont(bold);
        p.fillRect(QRectF(0, y, page.width(), rowHeight), QColor(230, 230, 230));
        for (int c = 0; c < report.columns.size(); ++c)
            setCell(titles, report.columns[c].title, cellBox(c, y), report.columns[c].alignment);
        titles.flush(p);
        p.drawLine(QPointF(0, y + rowHeight), QPointF(page.width(), y + rowHeight));
        p.setFont(regular);
    };

    int row = 0; // index over the data rows, then the totals
    for (int pageNo = 1; pageNo <= pages; ++pageNo) {
        if (pageNo > 1)
            device.newPage();
        double y = 0;
        if (pageNo == 1) {
            p.setFont(heading);
            p.drawText(QRectF(0, 0, page.width(), hm.height() * 1.4), int(Qt::AlignLeft | Qt::AlignVCenter),
                       hm.elidedText(report.title, Qt::ElideRight, page.width()));
            y = hm.height() * 1.4;
            p.setFont(regular);
            QStringList head{QStringLiteral("Дата: ") +
                             report.made.toString(QStringLiteral("dd.MM.yyyy HH:mm"))};
            head << report.lines;
            for (const QString &line : std::as_const(head)) {
                p.drawText(QRectF(0, y, page.width(), rm.height() * 1.3),
                           int(Qt::AlignLeft | Qt::AlignVCenter),
                           rm.elidedText(line, Qt::ElideRight, page.width()));
                y += rm.height() * 1.3;
            }
            y = tableTop1;
        }
        drawTitles(y);
        y += rowHeight;
        const int capacity = pageNo == 1 ? firstRows : otherRows;
        for (int n = 0; n < capacity && row < allRows; ++n, ++row) {
            if (row < dataRows) {
                if (report.rows.empty()) {
                    p.drawText(QRectF(cellPad, y, page.width(), rowHeight),
                               int(Qt::AlignLeft | Qt::AlignVCenter), QStringLiteral("Нет данных."));
                } else {
                    const QStringList &values = report.rows[size_t(row)];
                    for (int c = 0; c < report.columns.size() && c < values.size(); ++c)
                        setCell(cells, values[c], cellBox(c, y), report.columns[c].alignment);
                }
            } else {
                p.setFont(bold);
                p.drawText(QRectF(cellPad, y, page.width() - 2 * cellPad, rowHeight),
                           int(Qt::AlignRight | Qt::AlignVCenter), report.totals[row - dataRows]);
                p.setFont(regular);
            }
            y += rowHeight;
        }
        setCell(cells, QStringLiteral("Страница %1 из %2").arg(pageNo).arg(pages),
                QRectF(0, page.height() - footerHeight, page.width(), footerHeight), Qt::AlignHCenter);
        cells.flush(p);
    }
    p.end();
}

void WriteReportPdf(const ReportTable &report, const QString &path) {
    {
        // QPdfWriter says nothing about a file it cannot open: try first.
        QFile probe(path);
        if (!probe.open(QIODevice::WriteOnly))
            throw AppError(
                QStringLiteral("Не удалось записать файл «%1»: %2").arg(path, probe.errorString()));
    }
    QPdfWriter pdf(path);
    pdf.setTitle(report.title);
    pdf.setCreator(QStringLiteral("Velmora"));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageOrientation(report.landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    pdf.setResolution(300);
    RenderReport(report, pdf);
}
