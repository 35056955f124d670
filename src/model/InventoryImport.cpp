#include "model/InventoryImport.h"

#include "data/BulkInsert.h"
#include "data/Connection.h"
#include "data/Errors.h"
#include "data/Procedures.h"
#include "data/RowScan.h"
#include "data/SchemaInfo.h"
#include "data/SheetReader.h"
#include "data/TessalString.h"
#include "server/ElementMoves.h"

#include <QDate>
#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <map>
#include <optional>
#include <vector>

namespace IC = InventoryColumn;

const QStringList &InventoryColumns() {
    static const QStringList names = {
        QStringLiteral("Подразделение"),
        QStringLiteral("Рабочее место"),
        QStringLiteral("Устройство"),
        QStringLiteral("Тип устройства"),
        QStringLiteral("Инвентарный номер"),
        QStringLiteral("Сетевое имя"),
        QStringLiteral("Тип"),
        QStringLiteral("Модель"),
        QStringLiteral("Производитель"),
        QStringLiteral("Серийный номер"),
        QStringLiteral("Документ"),
        QStringLiteral("Дата документа"),
        QStringLiteral("Поставщик"),
        QStringLiteral("Цена"),
        QStringLiteral("Гарантия"),
        QStringLiteral("Вид"),
    };
    return names;
}

int InventoryColumnOf(const QString &heading) {
    static const QHash<QString, int> byName = [] {
        QHash<QString, int> h;
        for (int i = 0; i < IC::Count; ++i)
            h.insert(FoldText(InventoryColumns()[i]), i);
        return h;
    }();
    return byName.value(FoldText(heading.simplified()), -1);
}

namespace {

QString plural(int n, const char *one, const char *few, const char *many) {
    const int m10 = n % 10, m100 = n % 100;
    const char *w = m10 == 1 && m100 != 11                             ? one
                    : m10 >= 2 && m10 <= 4 && (m100 < 12 || m100 > 14) ? few
                                                                       : many;
    return QString::fromUtf8(w);
}

} // namespace

QString ImportResult::errorText() const {
    QString out = errors.join(u'\n');
    if (errorCount > errors.size()) {
        const int rest = errorCount - int(errors.size());
        out += QStringLiteral("\n…и ещё %1 %2.").arg(rest).arg(plural(rest, "ошибка", "ошибки", "ошибок"));
    }
    return out;
}

QString ImportResult::summary() const {
    static const char *const names[] = {"Подразделения", "Рабочие места", "Устройства", "Элементы",
                                        "Виды",          "Модели",        "Фирмы",      "Документы"};
    QStringList lines;
    for (int i = 0; i < int(ImportItem::Count); ++i) {
        const ImportCount &c = counts[size_t(i)];
        lines << QStringLiteral("%1: создано %2, найдено %3, изменено %4")
                     .arg(QString::fromUtf8(names[i]))
                     .arg(c.made)
                     .arg(c.found)
                     .arg(c.changed);
    }
    return lines.join(u'\n');
}

namespace {

// The widths of the columns the rows are written to.
constexpr int DepartmentWidth = 100, WorkplaceWidth = 50, DeviceWidth = 50, NumberWidth = 25,
              DomainWidth = 50, KindWidth = 30, ModelWidth = 30, FirmWidth = 100, SerialWidth = 50,
              DocumentWidth = 20;
constexpr int MaxWarranty = 600;

QString columnLetter(int index) {
    QString s;
    for (int n = index + 1; n > 0; n = (n - 1) / 26)
        s.prepend(QChar(u'A' + (n - 1) % 26));
    return s;
}

// A date as dd.MM.yyyy (one-digit day and month allowed) or yyyy-MM-dd, a time after it ignored.
// Empty optional with `why` set when it is not one.
std::optional<QDate> parseDate(const QString &text, QString *why) {
    static const QRegularExpression ru(
        QStringLiteral(R"(^(\d{1,2})\.(\d{1,2})\.(\d{4})(?:[ T]\d{1,2}:\d{2}(?::\d{2})?)?$)"));
    static const QRegularExpression iso(
        QStringLiteral(R"(^(\d{4})-(\d{1,2})-(\d{1,2})(?:[ T]\d{1,2}:\d{2}(?::\d{2})?)?$)"));
    int y = 0, m = 0, d = 0;
    if (const auto r = ru.match(text); r.hasMatch()) {
        d = r.captured(1).toInt();
        m = r.captured(2).toInt();
        y = r.captured(3).toInt();
    } else if (const auto i = iso.match(text); i.hasMatch()) {
        y = i.captured(1).toInt();
        m = i.captured(2).toInt();
        d = i.captured(3).toInt();
    } else {
        *why = QStringLiteral("это не дата; пишите ДД.ММ.ГГГГ");
        return std::nullopt;
    }
    const QDate date(y, m, d);
    if (!date.isValid() || y < 1900) {
        *why = QStringLiteral("такой даты нет");
        return std::nullopt;
    }
    return date;
}

// A price: digits with a space or a no-break space between thousands, a comma or a point before
// the decimals (at most four), a currency sign after it allowed. In units of 0.0001.
std::optional<qint64> parsePrice(QString text, QString *why) {
    static const QRegularExpression currency(QStringLiteral(R"(\s*(₽|руб\.?|р\.?)$)"),
                                             QRegularExpression::CaseInsensitiveOption);
    text.remove(currency);
    text.remove(u' ').remove(QChar(0x00A0)).remove(QChar(0x202F)).remove(QChar(0x2009));
    static const QRegularExpression number(QStringLiteral(R"(^(-?)(\d+)(?:[.,](\d+))?$)"));
    const auto m = number.match(text);
    if (!m.hasMatch()) {
        *why = QStringLiteral("это не цена; пишите, например, 12 500,00");
        return std::nullopt;
    }
    if (!m.captured(1).isEmpty()) {
        *why = QStringLiteral("цена не может быть меньше нуля");
        return std::nullopt;
    }
    if (m.captured(3).size() > 4) {
        *why = QStringLiteral("не больше четырёх знаков после запятой");
        return std::nullopt;
    }
    bool ok = false;
    const qint64 units = Money::toUnits(text.replace(u',', u'.'), &ok);
    if (!ok || units >= qint64(100'000'000'000'000) * 10000) {
        *why = QStringLiteral("слишком большая цена");
        return std::nullopt;
    }
    return units;
}

QString key2(qint64 a, const QString &b) {
    return QString::number(a) + u'\x1f' + b;
}

// One statement prepared once and run with new values each time; returns the first column of the
// first row, if any.
class Prepared {
public:
    Prepared(Connection &cn, const QString &sql) : m_cn(cn), m_sql(sql), m_q(cn.database()) {
        m_q.setForwardOnly(true);
        if (!m_q.prepare(prepareSql(sql, cn.engine()).text))
            throw DatabaseError(describeError(cn.engine(), m_q.lastError()), sql);
    }
    QVariant run(const QVariantList &values) {
        for (int i = 0; i < values.size(); ++i)
            m_q.bindValue(i, bindableValue(values[i]));
        if (!m_q.exec())
            throw DatabaseError(describeError(m_cn.engine(), m_q.lastError()), m_sql);
        QVariant out;
        if (m_q.next())
            out = m_q.value(0);
        m_q.finish();
        return out;
    }

private:
    Connection &m_cn;
    QString m_sql;
    QSqlQuery m_q;
};

struct DbDevice {
    int id = 0, workplace = 0, kind = 0;
    QString name, domain, number;
};

struct Element {
    int id = 0, model = 0, kind = 0, document = 0, warranty = -1;
    qint64 price = -1;
    QString serial; // folded
    bool taken = false;
};

// A device as the file first named it.
struct FileDevice {
    int id = 0;
    int row = 0;
    QString place; // folded department path, workplace and name
    QString placeText;
    int kind = 0;
    QString kindText, domain;
};

class Importer {
public:
    Importer(Connection &cn, const ImportOptions &options, bool write, ImportResult &result)
        : m_cn(cn), m_options(options), m_write(write), m_result(result) {}

    // Reads the file through; progress runs from `from` to `to` thousandths. False when cancelled.
    bool run(const QString &path, int from, int to) {
        loadDatabase();
        std::unique_ptr<SheetReader> reader = SheetReader::open(path);
        m_result.format = reader->format();
        QStringList cells;
        if (!reader->next(cells)) {
            fileError(QStringLiteral("Строка 1: в файле нет ни заголовков столбцов, ни строк."));
            return true;
        }
        if (!readHeadings(cells))
            return true;
        if (m_write)
            prepareWrites();
        int sinceReport = 0;
        while (reader->next(cells)) {
            processRow(reader->row(), cells);
            if (++sinceReport == 1000) {
                sinceReport = 0;
                if (m_options.progress &&
                    !m_options.progress(from + int(qint64(to - from) * reader->permille() / 1000)))
                    return false;
            }
        }
        if (m_write)
            m_elementInsert->flush();
        if (m_options.progress && !m_options.progress(to))
            return false;
        return true;
    }

private:
    // ---- errors ---------------------------------------------------------------------------------

    void fileError(const QString &text) {
        if (m_result.errors.size() < ImportResult::ShownErrors)
            m_result.errors << text;
        ++m_result.errorCount;
    }

    void error(int row, int column, const QString &value, const QString &why) {
        fileError(QStringLiteral("Строка %1, столбец «%2»: %3 — %4.")
                      .arg(row)
                      .arg(m_heading[column], value.isEmpty() ? QStringLiteral("пусто") : value, why));
    }

    // ---- headings -------------------------------------------------------------------------------

    bool readHeadings(const QStringList &cells) {
        const int before = m_result.errorCount;
        m_columnOf.assign(size_t(cells.size()), -1);
        for (int i = 0; i < cells.size(); ++i) {
            const QString h = cells[i].simplified();
            if (h.isEmpty())
                continue;
            int c = InventoryColumnOf(h);
            if (c < 0) {
                const QString mapped = m_options.headings.value(FoldText(h));
                if (!mapped.isEmpty())
                    c = InventoryColumnOf(mapped);
            }
            if (c < 0) {
                fileError(QStringLiteral("Строка 1, столбец %1 «%2»: такого столбца нет — известны: %3.")
                              .arg(columnLetter(i), h, InventoryColumns().join(QStringLiteral(", "))));
                continue;
            }
            if (m_present[size_t(c)]) {
                fileError(QStringLiteral("Строка 1, столбец %1 «%2»: этот столбец уже есть в столбце %3.")
                              .arg(columnLetter(i), h, columnLetter(m_at[size_t(c)])));
                continue;
            }
            m_present[size_t(c)] = true;
            m_at[size_t(c)] = i;
            m_heading[c] = h;
            m_columnOf[size_t(i)] = c;
        }
        if (!m_present[IC::Department] && !m_present[IC::InventoryNumber])
            fileError(QStringLiteral("Строка 1: нужен столбец «Подразделение» или «Инвентарный номер»."));
        for (int c = 0; c < IC::Count; ++c)
            if (m_heading[c].isEmpty())
                m_heading[c] = InventoryColumns()[c];
        return m_result.errorCount == before;
    }

    // ---- the database as it is --------------------------------------------------------------------

    void loadDatabase() {
        {
            const ResultSet rs = m_cn.query(QStringLiteral(
                "SELECT IdDepartment, DprtIdHigher, DprtName FROM Department ORDER BY IdDepartment"));
            for (const auto &r : rs.rows)
                m_departments.insert(key2(r[1].toInt(), FoldText(r[2].toString().trimmed())), r[0].toInt());
        }
        {
            const ResultSet rs = m_cn.query(QStringLiteral(
                "SELECT IdWorkplace, WrkpIdDepartment, WrkpName FROM Workplace ORDER BY IdWorkplace"));
            for (const auto &r : rs.rows)
                m_workplaces.insert(key2(r[1].toInt(), FoldText(r[2].toString().trimmed())), r[0].toInt());
        }
        {
            RowScan rows(m_cn,
                         QStringLiteral("SELECT IdDevice, DevcIdWorkplace, DevcIdKind, DevcName, Domain, "
                                        "DevcNumber FROM DeviceUnit ORDER BY IdDevice DESC"));
            while (rows.next()) {
                DbDevice d{int(rows.integer(0)),    int(rows.integer(1)),    int(rows.integer(2)),
                           rows.text(3).toString(), rows.text(4).toString(), rows.text(5).toString()};
                // Descending keys: the oldest device of a name or number is the one kept.
                const QString number = FoldText(d.number.trimmed());
                const QString place = key2(d.workplace, FoldText(d.name.trimmed()));
                m_devices.insert(d.id, std::move(d));
                if (!number.isEmpty())
                    m_deviceByNumber.insert(number, int(rows.integer(0)));
                m_deviceByPlace.insert(place, int(rows.integer(0)));
            }
        }
        {
            const ResultSet rs = m_cn.query(
                QStringLiteral("SELECT IdKind, KindType, KindName FROM Kind ORDER BY IdKind DESC"));
            for (const auto &r : rs.rows)
                m_kinds.insert(r[1].toString().trimmed() + FoldText(r[2].toString().trimmed()), r[0].toInt());
        }
        {
            const ResultSet rs = m_cn.query(QStringLiteral(
                "SELECT IdModel, ModlKind, ModlNumber, ModlName FROM Model ORDER BY IdModel DESC"));
            for (const auto &r : rs.rows)
                m_modelsByName.insert(key2(r[1].toInt(), FoldText(r[3].toString().trimmed())), r[0].toInt());
            for (const auto &r : rs.rows) // the number wins over another model's display name
                m_models.insert(key2(r[1].toInt(), FoldText(r[2].toString().trimmed())), r[0].toInt());
        }
        {
            const ResultSet rs = m_cn.query(QStringLiteral("SELECT IdClient, ClntNameFull, ClntNameShort, "
                                                           "DisplayName FROM Client ORDER BY IdClient DESC"));
            for (int c : {2, 3, 1}) // the full name wins over another firm's short or display name
                for (const auto &r : rs.rows)
                    if (!r[c].toString().trimmed().isEmpty())
                        m_firms.insert(FoldText(r[c].toString().trimmed()), r[0].toInt());
        }
        {
            const ResultSet rs = m_cn.query(QStringLiteral(
                "SELECT IdDocument, DocNumber, DocDate, DocClient FROM Document ORDER BY IdDocument DESC"));
            for (const auto &r : rs.rows) {
                const QString number = FoldText(r[1].toString().trimmed());
                const QDate date = r[2].toDateTime().date();
                m_documents.insert(documentKey(number, date, r[3].toInt()), r[0].toInt());
                m_documentsUndated.insert(documentKey(number, {}, r[3].toInt()), r[0].toInt());
            }
        }
    }

    static QString documentKey(const QString &number, const QDate &date, int supplier) {
        return number + u'\x1f' + (date.isValid() ? date.toString(Qt::ISODate) : QString()) + u'\x1f' +
               QString::number(supplier);
    }

    void prepareWrites() {
        for (const auto &r : m_cn.query(QStringLiteral("SELECT DprtIdHigher, max(DprtOrder) FROM Department "
                                                       "GROUP BY DprtIdHigher"))
                                 .rows)
            m_departmentOrder.insert(r[0].toInt(), r[1].toLongLong());
        for (const auto &r :
             m_cn.query(QStringLiteral("SELECT WrkpIdDepartment, max(WrkpOrder) FROM Workplace "
                                       "GROUP BY WrkpIdDepartment"))
                 .rows)
            m_workplaceOrder.insert(r[0].toInt(), r[1].toLongLong());
        m_documentInsert = std::make_unique<Prepared>(
            m_cn, QStringLiteral(
                      "INSERT INTO Document (DocKind, DocNumber, DocDate, DocClient) VALUES ('N', :N, :D, "
                      ":C) RETURNING IdDocument"));
        m_departmentInsert = std::make_unique<Prepared>(
            m_cn,
            QStringLiteral("INSERT INTO Department (DprtIdHigher, DprtName, DprtOrder) VALUES (:P, :N, :O) "
                           "RETURNING IdDepartment"));
        m_workplaceInsert = std::make_unique<Prepared>(
            m_cn, QStringLiteral(
                      "INSERT INTO Workplace (WrkpIdDepartment, WrkpName, WrkpOrder) VALUES (:D, :N, :O) "
                      "RETURNING IdWorkplace"));
        m_deviceInsert = std::make_unique<Prepared>(
            m_cn, QStringLiteral(
                      "INSERT INTO DeviceUnit (DevcIdWorkplace, DevcName, DevcIdKind, DevcNumber, Domain) "
                      "VALUES (:W, :N, :K, :I, :D) RETURNING IdDevice"));
        m_elementInsert = std::make_unique<BulkInsert>(
            m_cn, QStringLiteral("CompleteSet"),
            QStringList{QStringLiteral("CmplIdDevice"), QStringLiteral("CmplIdModel"),
                        QStringLiteral("ModelKind"), QStringLiteral("NumberManufact"),
                        QStringLiteral("DocumentId"), QStringLiteral("DocumentPosition"),
                        QStringLiteral("Price"), QStringLiteral("Warranty")});
    }

    // ---- counting and making --------------------------------------------------------------------

    ImportCount &count(ImportItem i) { return m_result.counts[size_t(i)]; }

    // Counts a row found in the database once, however many rows of the file name it.
    void found(ImportItem item, int id) {
        QSet<int> &seen = m_seen[size_t(item)];
        if (!seen.contains(id)) {
            seen.insert(id);
            ++count(item).found;
        }
    }

    // Counts a row this import makes; later rows naming it do not count it as found.
    void made(ImportItem item, int id) {
        m_seen[size_t(item)].insert(id);
        ++count(item).made;
    }

    int newKey() { return --m_fakeKey; }

    QVariant insert(const QString &table, const QString &key, const QVariantMap &values) {
        QStringList cols, marks;
        for (auto it = values.begin(); it != values.end(); ++it) {
            cols << u'[' + it.key() + u']';
            marks << u':' + it.key();
        }
        return m_cn.scalar(
            QStringLiteral("INSERT INTO [%1] (%2) VALUES (%3) RETURNING [%4]")
                .arg(table, cols.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")), key),
            values);
    }

    static QVariant nullable(int id) { return id != 0 ? QVariant(id) : QVariant(); }
    static QVariant nullable(const QString &s) { return s.isEmpty() ? QVariant() : QVariant(s); }

    int department(const QStringList &path) {
        int parent = 0;
        for (const QString &level : path) {
            const QString k = key2(parent, FoldText(level));
            int id = m_departments.value(k);
            if (id == 0) {
                // The order is given, as the database would give it (last among the siblings),
                // so that no trigger looks for it among all the rows.
                id = m_write ? m_departmentInsert->run({nullable(parent), level, ++m_departmentOrder[parent]})
                                   .toInt()
                             : newKey();
                m_departments.insert(k, id);
                made(ImportItem::Department, id);
            } else {
                found(ImportItem::Department, id);
            }
            parent = id;
        }
        return parent;
    }

    int workplace(int department, const QString &name) {
        const QString k = key2(department, FoldText(name));
        int id = m_workplaces.value(k);
        if (id == 0) {
            id = m_write ? m_workplaceInsert->run({department, name, ++m_workplaceOrder[department]}).toInt()
                         : newKey();
            m_workplaces.insert(k, id);
            made(ImportItem::Workplace, id);
        } else {
            found(ImportItem::Workplace, id);
        }
        return id;
    }

    int kind(QChar type, const QString &name) {
        const QString k = type + FoldText(name);
        int id = m_kinds.value(k);
        if (id == 0) {
            id = m_write ? insert(QStringLiteral("Kind"), QStringLiteral("IdKind"),
                                  {{QStringLiteral("KindType"), QString(type)},
                                   {QStringLiteral("KindName"), name},
                                   {QStringLiteral("ShortName"), name.left(20)}})
                               .toInt()
                         : newKey();
            m_kinds.insert(k, id);
            made(ImportItem::Kind, id);
        } else {
            found(ImportItem::Kind, id);
        }
        return id;
    }

    // An element's kind: of the type "Вид" names, else the first of equipment, materials and
    // software that has it; a new one is equipment unless "Вид" says otherwise.
    int elementKind(QChar type, const QString &name) {
        if (type.isNull()) {
            for (QChar t : {u'H', u'M', u'S'})
                if (m_kinds.contains(t + FoldText(name)))
                    return kind(t, name);
            type = u'H';
        }
        return kind(type, name);
    }

    int firm(const QString &name) {
        if (name.isEmpty())
            return 0;
        const QString k = FoldText(name);
        int id = m_firms.value(k);
        if (id == 0) {
            id = m_write ? insert(QStringLiteral("Client"), QStringLiteral("IdClient"),
                                  {{QStringLiteral("ClntNameFull"), name},
                                   {QStringLiteral("ClntNameShort"),
                                    name.size() <= 20 ? QVariant(name) : QVariant()}})
                               .toInt()
                         : newKey();
            m_firms.insert(k, id);
            made(ImportItem::Firm, id);
        } else {
            found(ImportItem::Firm, id);
        }
        return id;
    }

    QString modelName(const QString &number, int producer) {
        QVector<Parameter> params = procedureParameters(QStringLiteral("CalcModelName"));
        for (Parameter &p : params) {
            if (p.name.compare(u"@NB", Qt::CaseInsensitive) == 0)
                p.value = number;
            else if (p.name.compare(u"@NO", Qt::CaseInsensitive) == 0)
                p.value = producer == 0;
            else if (p.name.compare(u"@PR", Qt::CaseInsensitive) == 0)
                p.value = producer;
        }
        callProcedure(m_cn, QStringLiteral("CalcModelName"), params);
        for (const Parameter &p : params)
            if (p.name.compare(u"@Name", Qt::CaseInsensitive) == 0 && !p.value.toString().trimmed().isEmpty())
                return p.value.toString().trimmed();
        return number;
    }

    int model(int kind, const QString &number, const QString &producerName) {
        const QString k = key2(kind, FoldText(number));
        int id = m_models.value(k);
        if (id == 0)
            id = m_modelsByName.value(k);
        if (id == 0) {
            const int producer = firm(producerName);
            id = m_write ? insert(QStringLiteral("Model"), QStringLiteral("IdModel"),
                                  {{QStringLiteral("ModlKind"), kind},
                                   {QStringLiteral("ModlIdProducer"), nullable(producer)},
                                   {QStringLiteral("ModlNumber"), number},
                                   {QStringLiteral("ModlName"), modelName(number, producer)},
                                   {QStringLiteral("ModlNameOnly"), producer == 0}})
                               .toInt()
                         : newKey();
            m_models.insert(k, id);
            m_madeModels.insert(id);
            made(ImportItem::Model, id);
        } else {
            firm(producerName); // counted as found, or made, like any firm the file names
            found(ImportItem::Model, id);
        }
        return id;
    }

    int document(const QString &number, const std::optional<QDate> &date, int supplier) {
        const QString folded = FoldText(number);
        const QDate d = date.value_or(QDate());
        const QString k = documentKey(folded, d, supplier);
        int id = m_documents.value(k);
        if (id == 0 && !d.isValid())
            id = m_documentsUndated.value(k);
        if (id == 0) {
            id = m_write ? m_documentInsert
                               ->run({nullable(number), d.isValid() ? QVariant(d.startOfDay()) : QVariant(),
                                      nullable(supplier)})
                               .toInt()
                         : newKey();
            m_documents.insert(k, id);
            m_documentsUndated.insert(documentKey(folded, {}, supplier), id);
            m_positions.insert(id, 0);
            made(ImportItem::Document, id);
        } else {
            found(ImportItem::Document, id);
        }
        return id;
    }

    int nextPosition(int document) {
        auto it = m_positions.find(document);
        if (it == m_positions.end()) {
            const int last = document > 0
                                 ? m_cn.scalar(QStringLiteral("SELECT coalesce(max(DocumentPosition), 0) "
                                                              "FROM CompleteSet WHERE DocumentId = :D"),
                                               {{QStringLiteral("D"), document}})
                                       .toInt()
                                 : 0;
            it = m_positions.insert(document, last);
        }
        return std::min(++it.value(), 32767);
    }

    // The one element of the model with this serial number, on some other device and not yet matched
    // by an earlier row: a serial number and a model name one element wherever it stands.
    std::optional<Element> elementElsewhere(int model, const QString &serialText, const QString &serial) {
        if (serial.isEmpty() || model <= 0 || m_madeModels.contains(model)) // a new model has no elements yet
            return std::nullopt;
        const ResultSet rs = m_cn.query(
            QStringLiteral(
                "SELECT IdComponent, CmplIdModel, ModelKind, DocumentId, Warranty, Price, NumberManufact "
                "FROM CompleteSet WHERE trim(NumberManufact) IN (:S, :U, :L) AND CmplIdModel = :M ORDER BY "
                "IdComponent"),
            // The index holds the numbers as typed: asked as written, in capitals and in small letters.
            {{QStringLiteral("S"), serialText},
             {QStringLiteral("U"), serialText.toUpper()},
             {QStringLiteral("L"), serialText.toLower()},
             {QStringLiteral("M"), model}});
        std::optional<Element> found;
        for (const auto &r : rs.rows) {
            Element e{r[0].toInt(),
                      r[1].toInt(),
                      r[2].toInt(),
                      r[3].toInt(),
                      r[4].isNull() ? -1 : r[4].toInt(),
                      r[5].isNull() ? -1 : Money::toUnits(r[5]),
                      FoldText(r[6].toString().trimmed())};
            if (e.serial != serial)
                continue;
            if (found) // a number several elements share ("б/н") names none of them
                return std::nullopt;
            found = e;
        }
        if (found && m_takenElements.contains(found->id))
            return std::nullopt;
        return found;
    }

    std::vector<Element> &elementsOf(int device) {
        auto it = m_elements.find(device);
        if (it != m_elements.end())
            return it->second;
        std::vector<Element> list;
        if (device > 0) {
            const ResultSet rs = m_cn.query(
                QStringLiteral(
                    "SELECT IdComponent, CmplIdModel, ModelKind, DocumentId, Warranty, Price, "
                    "NumberManufact FROM CompleteSet WHERE CmplIdDevice = :D ORDER BY IdComponent"),
                {{QStringLiteral("D"), device}});
            for (const auto &r : rs.rows)
                list.push_back({r[0].toInt(), r[1].toInt(), r[2].toInt(), r[3].toInt(),
                                r[4].isNull() ? -1 : r[4].toInt(), r[5].isNull() ? -1 : Money::toUnits(r[5]),
                                FoldText(r[6].toString().trimmed())});
        }
        return m_elements.emplace(device, std::move(list)).first->second;
    }

    // ---- one row --------------------------------------------------------------------------------

    void processRow(int row, const QStringList &cells) {
        QString v[IC::Count];
        bool empty = true;
        for (int i = 0; i < cells.size(); ++i) {
            // Every column is a one-line field: a line break typed inside a cell (Alt+Enter in a
            // spreadsheet) becomes a space, as a dialog's line would hold it.
            QString text = cells[i];
            text.replace(QStringLiteral("\r\n"), QStringLiteral(" "))
                .replace(u'\n', u' ')
                .replace(u'\r', u' ');
            text = text.trimmed();
            if (text.isEmpty())
                continue;
            empty = false;
            const int c = i < int(m_columnOf.size()) ? m_columnOf[size_t(i)] : -1;
            if (c < 0) {
                fileError(QStringLiteral("Строка %1, столбец %2: %3 — у столбца нет заголовка.")
                              .arg(row)
                              .arg(columnLetter(i), text));
                continue;
            }
            v[c] = text;
        }
        if (empty)
            return;
        ++m_result.rows;
        const int before = m_result.errorCount;

        auto tooLong = [&](int c, int width) {
            if (v[c].size() > width) {
                error(row, c, v[c],
                      QStringLiteral("длиннее %1 %2")
                          .arg(width)
                          .arg(plural(width, "символа", "символов", "символов")));
                return true;
            }
            return false;
        };
        auto required = [&](int c, const char *why) {
            if (v[c].isEmpty())
                error(row, c, v[c], QString::fromUtf8(why));
        };

        // The department path, its levels each a name.
        QStringList path;
        if (!v[IC::Department].isEmpty()) {
            for (const QString &level : v[IC::Department].split(u'/')) {
                const QString name = level.simplified();
                if (name.isEmpty()) {
                    error(row, IC::Department, v[IC::Department],
                          QStringLiteral("пустое имя в пути; уровни разделяются « / »"));
                    break;
                }
                if (name.size() > DepartmentWidth) {
                    error(row, IC::Department, v[IC::Department],
                          QStringLiteral("имя подразделения длиннее %1 символов").arg(DepartmentWidth));
                    break;
                }
                path << name;
            }
        }
        tooLong(IC::Workplace, WorkplaceWidth);
        tooLong(IC::Device, DeviceWidth);
        tooLong(IC::DeviceKind, KindWidth);
        tooLong(IC::InventoryNumber, NumberWidth);
        tooLong(IC::NetworkName, DomainWidth);
        tooLong(IC::Kind, KindWidth);
        tooLong(IC::Model, ModelWidth);
        tooLong(IC::Producer, FirmWidth);
        tooLong(IC::Serial, SerialWidth);
        tooLong(IC::Document, DocumentWidth);
        tooLong(IC::Supplier, FirmWidth);

        QString why;
        std::optional<QDate> docDate;
        if (!v[IC::DocumentDate].isEmpty() && !(docDate = parseDate(v[IC::DocumentDate], &why)))
            error(row, IC::DocumentDate, v[IC::DocumentDate], why);
        std::optional<qint64> price;
        if (!v[IC::Price].isEmpty() && !(price = parsePrice(v[IC::Price], &why)))
            error(row, IC::Price, v[IC::Price], why);
        int warranty = -1;
        if (!v[IC::Warranty].isEmpty()) {
            bool ok = false;
            warranty = v[IC::Warranty].toInt(&ok);
            if (!ok || warranty < 0 || warranty > MaxWarranty)
                error(row, IC::Warranty, v[IC::Warranty],
                      QStringLiteral("гарантия — целое число месяцев от 0 до %1").arg(MaxWarranty));
        }
        QChar type;
        if (!v[IC::KindType].isEmpty()) {
            const QString t = FoldText(v[IC::KindType]);
            if (t == u"оборудование" || t == u"комплектующие" || t == u"h")
                type = u'H';
            else if (t == u"материалы" || t == u"m")
                type = u'M';
            else if (t == u"программы" || t == u"s")
                type = u'S';
            else
                error(row, IC::KindType, v[IC::KindType],
                      QStringLiteral("пишите Оборудование, Материалы или Программы"));
        }

        bool element = false;
        for (int c : {IC::Kind, IC::Model, IC::Producer, IC::Serial, IC::Document, IC::DocumentDate,
                      IC::Supplier, IC::Price, IC::Warranty, IC::KindType})
            element = element || !v[c].isEmpty();
        bool device = element;
        for (int c : {IC::Device, IC::DeviceKind, IC::InventoryNumber, IC::NetworkName})
            device = device || !v[c].isEmpty();

        // A device named by an inventory number the file or the database already knows may leave
        // its place out.
        const QString number = FoldText(v[IC::InventoryNumber]);
        const bool knownNumber =
            !number.isEmpty() && (m_fileDevices.contains(u'#' + number) || m_deviceByNumber.contains(number));
        const bool placeGiven =
            !v[IC::Department].isEmpty() || !v[IC::Workplace].isEmpty() || !v[IC::Device].isEmpty();
        if (device && (!knownNumber || placeGiven)) {
            required(IC::Department, "нужно подразделение устройства");
            required(IC::Workplace, "нужно рабочее место устройства");
            required(IC::Device, "нужно имя устройства");
        } else if (!device && !v[IC::Workplace].isEmpty()) {
            required(IC::Department, "нужно подразделение рабочего места");
        }
        if (element) {
            required(IC::Kind, "нужен тип элемента");
            required(IC::Model, "нужна модель элемента");
        }
        if (m_result.errorCount != before)
            return;

        // ---- where it stands
        int dept = 0, wp = 0, dev = 0;
        if (!device) {
            dept = department(path);
            if (!v[IC::Workplace].isEmpty())
                workplace(dept, v[IC::Workplace]);
            return;
        }
        const QString placeKey = FoldText(path.join(u'/')) + u'\x1f' + FoldText(v[IC::Workplace]) + u'\x1f' +
                                 FoldText(v[IC::Device]);
        const QString placeText = QStringLiteral("«%1», %2 / %3")
                                      .arg(v[IC::Device], path.join(QStringLiteral(" / ")), v[IC::Workplace]);
        const QString fileKey = number.isEmpty() ? u'@' + placeKey : u'#' + number;
        auto fd = m_fileDevices.find(fileKey);
        if (fd != m_fileDevices.end()) {
            FileDevice &f = fd.value();
            bool bad = false;
            if (placeGiven && f.place != placeKey) {
                error(row, IC::InventoryNumber, v[IC::InventoryNumber],
                      QStringLiteral("в строке %1 этот номер у другого устройства: %2")
                          .arg(f.row)
                          .arg(f.placeText));
                bad = true;
            }
            if (m_present[IC::DeviceKind] && !v[IC::DeviceKind].isEmpty() &&
                FoldText(v[IC::DeviceKind]) != FoldText(f.kindText)) {
                error(row, IC::DeviceKind, v[IC::DeviceKind],
                      QStringLiteral("в строке %1 у этого устройства тип «%2»").arg(f.row).arg(f.kindText));
                bad = true;
            }
            if (m_present[IC::NetworkName] && !v[IC::NetworkName].isEmpty() &&
                FoldText(v[IC::NetworkName]) != FoldText(f.domain)) {
                error(row, IC::NetworkName, v[IC::NetworkName],
                      QStringLiteral("в строке %1 у этого устройства сетевое имя «%2»")
                          .arg(f.row)
                          .arg(f.domain));
                bad = true;
            }
            if (bad)
                return;
            dev = f.id;
        } else {
            FileDevice f;
            f.row = row;
            f.place = placeKey;
            f.placeText = placeText;
            f.kindText = v[IC::DeviceKind];
            f.domain = v[IC::NetworkName];
            const int kindId = v[IC::DeviceKind].isEmpty() ? 0 : kind(u'D', v[IC::DeviceKind]);
            int existing = 0;
            if (!number.isEmpty())
                existing = m_deviceByNumber.value(number);
            if (placeGiven) {
                dept = department(path);
                wp = workplace(dept, v[IC::Workplace]);
                if (number.isEmpty())
                    existing = m_deviceByPlace.value(key2(wp, FoldText(v[IC::Device])));
            }
            if (existing != 0) {
                DbDevice &d = m_devices[existing];
                if (!placeGiven) {
                    wp = d.workplace;
                    f.place = QString(); // the database's place; a later row naming one must agree
                    f.placeText = QStringLiteral("«%1»").arg(d.name);
                }
                const QString name = placeGiven ? v[IC::Device] : d.name;
                const int newKind = m_present[IC::DeviceKind] ? kindId : d.kind;
                const QString domain = m_present[IC::NetworkName] ? v[IC::NetworkName] : d.domain;
                const QString inventory = number.isEmpty() ? d.number : v[IC::InventoryNumber];
                if (d.workplace != wp || d.name != name || d.kind != newKind || d.domain != domain ||
                    d.number != inventory) {
                    if (m_write)
                        m_cn.execute(
                            QStringLiteral("UPDATE DeviceUnit SET DevcIdWorkplace = :W, DevcName = :N, "
                                           "DevcIdKind = :K, Domain = :D, DevcNumber = :I, "
                                           "RowVersion = RowVersion + 1 WHERE IdDevice = :ID"),
                            {{QStringLiteral("W"), wp},
                             {QStringLiteral("N"), name},
                             {QStringLiteral("K"), nullable(newKind)},
                             {QStringLiteral("D"), nullable(domain)},
                             {QStringLiteral("I"), nullable(inventory)},
                             {QStringLiteral("ID"), existing}});
                    d.workplace = wp;
                    d.name = name;
                    d.kind = newKind;
                    d.domain = domain;
                    d.number = inventory;
                    ++count(ImportItem::Device).changed;
                } else {
                    ++count(ImportItem::Device).found;
                }
                f.kindText = m_present[IC::DeviceKind] ? v[IC::DeviceKind] : QString();
                dev = existing;
            } else {
                dev = m_write ? m_deviceInsert
                                    ->run({wp, v[IC::Device], nullable(kindId),
                                           nullable(v[IC::InventoryNumber]), nullable(v[IC::NetworkName])})
                                    .toInt()
                              : newKey();
                m_madeDevices.insert(dev);
                ++count(ImportItem::Device).made;
            }
            f.id = dev;
            m_fileDevices.insert(fileKey, f);
            if (f.place.isEmpty() && placeGiven)
                m_fileDevices[fileKey].place = placeKey;
        }
        if (!element)
            return;

        // ---- the element
        const int kindId = elementKind(type, v[IC::Kind]);
        const int modelId = model(kindId, v[IC::Model], v[IC::Producer]);
        const int supplier = firm(v[IC::Supplier]);
        int doc = 0;
        if (!v[IC::Document].isEmpty() || docDate || supplier != 0)
            doc = document(v[IC::Document], docDate, supplier);
        const QString serial = FoldText(v[IC::Serial]);
        Element *match = nullptr;
        // A device this import made has no elements to find.
        std::vector<Element> &list = dev < 0 || m_madeDevices.contains(dev) ? m_noElements : elementsOf(dev);
        for (Element &e : list)
            if (!e.taken && !m_takenElements.contains(e.id) && e.model == modelId && e.serial == serial) {
                match = &e;
                break;
            }
        std::optional<Element> moved;
        if (!match && (moved = elementElsewhere(modelId, v[IC::Serial], serial)))
            match = &*moved;
        if (match) {
            match->taken = true;
            m_takenElements.insert(match->id);
            if (moved) {
                // The file holds it on another device: it moves there, and its move history says so,
                // as a move in the program records it.
                if (m_write) {
                    m_cn.execute(
                        QStringLiteral("UPDATE CompleteSet SET CmplIdDevice = :V, RowVersion = RowVersion "
                                       "+ 1 WHERE IdComponent = :ID"),
                        {{QStringLiteral("V"), dev}, {QStringLiteral("ID"), match->id}});
                    RecordElementPlace(m_cn, match->id);
                }
                ++count(ImportItem::Element).changed;
            }
            const int newDoc =
                m_present[IC::Document] || m_present[IC::DocumentDate] || m_present[IC::Supplier]
                    ? doc
                    : match->document;
            const qint64 newPrice = m_present[IC::Price] ? (price ? *price : -1) : match->price;
            const int newWarranty = m_present[IC::Warranty] ? warranty : match->warranty;
            if (match->document != newDoc || match->price != newPrice || match->warranty != newWarranty ||
                match->kind != kindId) {
                if (m_write)
                    m_cn.execute(
                        QStringLiteral("UPDATE CompleteSet SET ModelKind = :K, DocumentId = :D, Price = :P, "
                                       "Warranty = :G, RowVersion = RowVersion + 1 WHERE IdComponent = :ID"),
                        {{QStringLiteral("K"), kindId},
                         {QStringLiteral("D"), nullable(newDoc)},
                         {QStringLiteral("P"),
                          newPrice >= 0 ? QVariant(Money::fromUnits(newPrice)) : QVariant()},
                         {QStringLiteral("G"), newWarranty >= 0 ? QVariant(newWarranty) : QVariant()},
                         {QStringLiteral("ID"), match->id}});
                match->document = newDoc;
                match->price = newPrice;
                match->warranty = newWarranty;
                match->kind = kindId;
                if (!moved)
                    ++count(ImportItem::Element).changed;
            } else if (!moved) {
                ++count(ImportItem::Element).found;
            }
            return;
        }
        if (m_write)
            m_elementInsert->add({dev, modelId, kindId, nullable(v[IC::Serial]), nullable(doc),
                                  doc != 0 ? QVariant(nextPosition(doc)) : QVariant(),
                                  price ? QVariant(Money::fromUnits(*price)) : QVariant(),
                                  warranty >= 0 ? QVariant(warranty) : QVariant()});
        ++count(ImportItem::Element).made;
    }

    Connection &m_cn;
    const ImportOptions &m_options;
    bool m_write;
    ImportResult &m_result;
    int m_fakeKey = 0;

    std::vector<int> m_columnOf; // file column -> InventoryColumn, -1 for none
    std::array<bool, IC::Count> m_present{};
    std::array<int, IC::Count> m_at{};
    QString m_heading[IC::Count];

    QHash<QString, int> m_departments, m_workplaces, m_kinds, m_models, m_modelsByName, m_firms, m_documents,
        m_documentsUndated;
    QHash<int, DbDevice> m_devices;
    QHash<QString, int> m_deviceByNumber, m_deviceByPlace;
    QHash<QString, FileDevice> m_fileDevices;
    std::map<int, std::vector<Element>> m_elements;
    std::vector<Element> m_noElements;
    QSet<int> m_takenElements; // matched by a row already, on whichever device
    QSet<int> m_madeDevices, m_madeModels;
    QHash<int, int> m_positions;
    std::array<QSet<int>, size_t(ImportItem::Count)> m_seen;

    QHash<int, qint64> m_departmentOrder, m_workplaceOrder; // the last order under each parent
    std::unique_ptr<Prepared> m_departmentInsert, m_workplaceInsert, m_documentInsert;
    std::unique_ptr<Prepared> m_deviceInsert;
    std::unique_ptr<BulkInsert> m_elementInsert;
};

} // namespace

ImportResult ImportInventory(Connection &cn, const QString &path, const ImportOptions &options) {
    ImportResult check;
    {
        const bool done = Importer(cn, options, false, check).run(path, 0, options.dryRun ? 1000 : 400);
        if (!done) {
            check.cancelled = true;
            return check;
        }
    }
    if (check.errorCount > 0 || options.dryRun)
        return check;

    const BulkWaitLimit bulkWait(cn);
    Transaction tx(cn);
    // Two imports at once would each make the departments and kinds the other is making: the
    // second waits for the first and then finds what it wrote. SQLite's writer lock does the same.
    if (cn.engine() == Engine::PostgreSQL)
        cn.scalar(QStringLiteral("SELECT pg_advisory_xact_lock(7353001)"));
    ImportResult result;
    const bool done = Importer(cn, options, true, result).run(path, 400, 1000);
    if (!done) {
        check.cancelled = true;
        return check; // the transaction rolls back as it goes
    }
    if (result.errorCount > 0)
        return result; // the database changed between the check and the writing
    tx.commit();
    result.written = true;
    return result;
}
