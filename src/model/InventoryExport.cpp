#include "model/InventoryExport.h"

#include "data/Connection.h"
#include "data/Errors.h"
#include "data/SchemaInfo.h"
#include "data/SheetReader.h"
#include "data/TessalString.h"
#include "model/InventoryImport.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <array>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <vector>
#include <xlsxwriter.h>

namespace IC = InventoryColumn;

namespace {

// One value of a row: a text, or for a workbook a number or a date.
struct Cell {
    QString text;
    std::optional<double> number;
    QDate date;
};

using Row = std::array<Cell, IC::Count>;

// The price as a Russian spreadsheet shows it: a comma, two decimals, more only where there are.
QString priceText(qint64 units) {
    QString s = Money::fromUnits(units); // "12500.5000"
    while (s.endsWith(u'0') && s.size() - s.indexOf(u'.') > 3)
        s.chop(1);
    return s.replace(u'.', u',');
}

class Writer {
public:
    virtual ~Writer() = default;
    virtual void write(const Row &row) = 0;
    virtual void headings() = 0;
    virtual void finish() = 0;
};

class CsvWriter final : public Writer {
public:
    explicit CsvWriter(const QString &path) : m_file(path) {
        if (!m_file.open(QIODevice::WriteOnly))
            throw AppError(QStringLiteral("Файл «%1» не записывается: %2")
                               .arg(QFileInfo(path).fileName(), m_file.errorString()));
        m_buffer = QByteArrayLiteral("\xEF\xBB\xBF");
    }
    void headings() override { line(InventoryColumns()); }
    void write(const Row &row) override {
        QStringList cells;
        for (const Cell &c : row)
            cells << c.text;
        line(cells);
    }
    void finish() override {
        flush();
        if (!m_file.commit())
            throw AppError(QStringLiteral("Файл «%1» не записан: %2")
                               .arg(QFileInfo(m_file.fileName()).fileName(), m_file.errorString()));
    }

private:
    void line(const QStringList &cells) {
        m_buffer += CsvRow(cells).toUtf8();
        m_buffer += "\r\n";
        if (m_buffer.size() > (1 << 20))
            flush();
    }
    void flush() {
        if (m_file.write(m_buffer) != m_buffer.size())
            throw AppError(QStringLiteral("Файл «%1» не записан: %2")
                               .arg(QFileInfo(m_file.fileName()).fileName(), m_file.errorString()));
        m_buffer.clear();
    }
    QSaveFile m_file;
    QByteArray m_buffer;
};

class XlsxWriter final : public Writer {
public:
    explicit XlsxWriter(const QString &path) : m_path(path), m_temp(path + QStringLiteral(".part")) {
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE; // rows go to the file as they are written
        m_book = workbook_new_opt(QFile::encodeName(m_temp).constData(), &options);
        if (!m_book)
            throw AppError(QStringLiteral("Книга «%1» не создаётся").arg(QFileInfo(path).fileName()));
        m_sheet = workbook_add_worksheet(m_book, "Инвентарь");
        m_bold = workbook_add_format(m_book);
        format_set_bold(m_bold);
        m_date = workbook_add_format(m_book);
        format_set_num_format(m_date, "dd.mm.yyyy");
        m_money = workbook_add_format(m_book);
        format_set_num_format(m_money, "#,##0.00");
        const double widths[IC::Count] = {30, 20, 24, 16, 14, 14, 18, 24, 18, 18, 14, 12, 22, 12, 9, 14};
        for (int c = 0; c < IC::Count; ++c)
            worksheet_set_column(m_sheet, lxw_col_t(c), lxw_col_t(c), widths[c], nullptr);
    }
    ~XlsxWriter() override {
        if (m_book) {
            workbook_close(m_book);
            QFile::remove(m_temp);
        }
    }
    void headings() override {
        for (int c = 0; c < IC::Count; ++c)
            check(worksheet_write_string(m_sheet, 0, lxw_col_t(c), InventoryColumns()[c].toUtf8().constData(),
                                         m_bold));
        worksheet_freeze_panes(m_sheet, 1, 0);
    }
    void write(const Row &row) override {
        ++m_row;
        for (int c = 0; c < IC::Count; ++c) {
            const Cell &cell = row[size_t(c)];
            if (cell.date.isValid()) {
                lxw_datetime dt{cell.date.year(), cell.date.month(), cell.date.day(), 0, 0, 0};
                check(worksheet_write_datetime(m_sheet, m_row, lxw_col_t(c), &dt, m_date));
            } else if (cell.number) {
                check(worksheet_write_number(m_sheet, m_row, lxw_col_t(c), *cell.number,
                                             c == IC::Price ? m_money : nullptr));
            } else if (!cell.text.isEmpty()) {
                check(worksheet_write_string(m_sheet, m_row, lxw_col_t(c), cell.text.toUtf8().constData(),
                                             nullptr));
            }
        }
    }
    void finish() override {
        const lxw_error e = workbook_close(m_book);
        m_book = nullptr;
        if (e != LXW_NO_ERROR) {
            QFile::remove(m_temp);
            throw AppError(QStringLiteral("Книга «%1» не записана: %2")
                               .arg(QFileInfo(m_path).fileName(), QString::fromUtf8(lxw_strerror(e))));
        }
        QFile::remove(m_path);
        if (!QFile::rename(m_temp, m_path))
            throw AppError(QStringLiteral("Книга «%1» не записана").arg(QFileInfo(m_path).fileName()));
    }

private:
    void check(lxw_error e) {
        if (e != LXW_NO_ERROR)
            throw AppError(QStringLiteral("Книга «%1» не записана: %2")
                               .arg(QFileInfo(m_path).fileName(), QString::fromUtf8(lxw_strerror(e))));
    }
    QString m_path, m_temp;
    lxw_workbook *m_book = nullptr;
    lxw_worksheet *m_sheet = nullptr;
    lxw_format *m_bold = nullptr, *m_date = nullptr, *m_money = nullptr;
    lxw_row_t m_row = 0;
};

struct Department {
    int id = 0, parent = 0;
    qint64 order = 0;
    QString name, path;
    std::vector<int> children, workplaces;
};

struct Workplace {
    int id = 0, department = 0;
    qint64 order = 0;
    QString name;
    std::vector<int> devices;
};

struct Device {
    int id = 0, workplace = 0;
    QString name, kind, number, domain;
};

qint64 orderOf(const QVariant &v) {
    return v.isNull() ? std::numeric_limits<qint64>::max() : v.toLongLong();
}

} // namespace

int ExportInventory(Connection &cn, const QString &path, const ExportOptions &options) {
    Transaction tx(cn, TxMode::Read); // one consistent picture
    std::map<int, Department> departments;
    for (const auto &r :
         cn.query(QStringLiteral("SELECT IdDepartment, DprtIdHigher, DprtName, DprtOrder FROM Department"))
             .rows)
        departments[r[0].toInt()] = {
            r[0].toInt(), r[1].toInt(), orderOf(r[3]), r[2].toString().trimmed(), {}, {}, {}};
    std::vector<int> roots;
    for (auto &[id, d] : departments) {
        auto parent = departments.find(d.parent);
        if (d.parent != 0 && parent != departments.end() && d.parent != id)
            parent->second.children.push_back(id);
        else
            roots.push_back(id);
    }
    std::map<int, Workplace> workplaces;
    for (const auto &r :
         cn.query(QStringLiteral("SELECT IdWorkplace, WrkpIdDepartment, WrkpName, WrkpOrder FROM Workplace"))
             .rows) {
        workplaces[r[0].toInt()] = {r[0].toInt(), r[1].toInt(), orderOf(r[3]), r[2].toString().trimmed(), {}};
        auto d = departments.find(r[1].toInt());
        if (d != departments.end())
            d->second.workplaces.push_back(r[0].toInt());
    }
    std::map<int, Device> devices;
    for (const auto &r :
         cn.query(QStringLiteral("SELECT d.IdDevice, d.DevcIdWorkplace, d.DevcName, k.KindName, "
                                 "d.DevcNumber, d.Domain FROM DeviceUnit d "
                                 "LEFT JOIN Kind k ON k.IdKind = d.DevcIdKind ORDER BY d.IdDevice"))
             .rows) {
        devices[r[0].toInt()] = {r[0].toInt(),
                                 r[1].toInt(),
                                 r[2].toString().trimmed(),
                                 r[3].toString().trimmed(),
                                 r[4].toString().trimmed(),
                                 r[5].toString().trimmed()};
        auto w = workplaces.find(r[1].toInt());
        if (w != workplaces.end())
            w->second.devices.push_back(r[0].toInt());
    }
    const auto byOrder = [](auto &map) {
        return [&map](int a, int b) {
            const auto &x = map.at(a), &y = map.at(b);
            return x.order != y.order ? x.order < y.order : a < b;
        };
    };
    for (auto &[id, d] : departments) {
        std::sort(d.children.begin(), d.children.end(), byOrder(departments));
        std::sort(d.workplaces.begin(), d.workplaces.end(), byOrder(workplaces));
    }
    std::sort(roots.begin(), roots.end(), byOrder(departments));

    // The branch to write.
    std::vector<int> departmentOrder; // depth first, each with its path
    QSet<int> visited;
    std::function<void(int, const QString &)> walk = [&](int id, const QString &parentPath) {
        if (visited.contains(id)) // a cycle a database of an older program may hold
            return;
        visited.insert(id);
        Department &d = departments.at(id);
        d.path = parentPath.isEmpty() ? d.name : parentPath + QStringLiteral(" / ") + d.name;
        departmentOrder.push_back(id);
        for (int c : d.children)
            walk(c, d.path);
    };
    for (int r : roots)
        walk(r, {});
    int onlyWorkplace = 0, onlyDevice = 0;
    if (!options.branch.isEmpty()) {
        const QString kind = KeyKind(options.branch);
        const int id = KeyId(options.branch);
        int top = 0;
        if (kind == u"D") {
            top = id;
        } else if (kind == u"W" && workplaces.count(id)) {
            onlyWorkplace = id;
            top = workplaces.at(id).department;
        } else if (kind == u"V" && devices.count(id) && workplaces.count(devices.at(id).workplace)) {
            onlyDevice = id;
            onlyWorkplace = devices.at(id).workplace;
            top = workplaces.at(onlyWorkplace).department;
        }
        if (!departments.count(top))
            throw AppError(QStringLiteral("Ветвь %1 не найдена").arg(options.branch));
        std::vector<int> branch;
        std::function<void(int)> collect = [&](int id) {
            branch.push_back(id);
            if (onlyWorkplace == 0)
                for (int c : departments.at(id).children)
                    collect(c);
        };
        collect(top);
        const QSet<int> in(branch.begin(), branch.end());
        std::vector<int> kept;
        for (int id : departmentOrder)
            if (in.contains(id))
                kept.push_back(id);
        departmentOrder = kept;
    }

    const bool xlsx = path.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive);
    std::unique_ptr<Writer> out;
    if (xlsx)
        out = std::make_unique<XlsxWriter>(path);
    else
        out = std::make_unique<CsvWriter>(path);
    out->headings();

    // The elements are read for a batch of devices at a time, in the order they are written: one
    // statement per device would make the export of a server database a round trip per device.
    constexpr size_t Batch = 500;
    const QString elementSql =
        QStringLiteral("SELECT c.CmplIdDevice, k.KindName, k.KindType, m.ModlNumber, m.ModlName, "
                       "p.ClntNameFull, c.NumberManufact, d.DocNumber, "
                       "d.DocDate, s.ClntNameFull, c.Price, c.Warranty FROM CompleteSet c "
                       "LEFT JOIN Model m ON m.IdModel = c.CmplIdModel "
                       "LEFT JOIN Kind k ON k.IdKind = coalesce(m.ModlKind, c.ModelKind) "
                       "LEFT JOIN Client p ON p.IdClient = m.ModlIdProducer "
                       "LEFT JOIN Document d ON d.IdDocument = c.DocumentId "
                       "LEFT JOIN Client s ON s.IdClient = d.DocClient "
                       "WHERE c.CmplIdDevice IN (%1) ORDER BY c.CmplIdDevice, c.IdComponent");
    // A row waiting for its batch: a place without devices (device 0), or a device with the rows
    // of its elements once they are read.
    struct Pending {
        Row row;
        int device = 0;
        std::vector<Row> elements;
    };
    std::vector<Pending> pending;
    QHash<int, size_t> pendingDevice;

    const qint64 total = qMax<qint64>(1, qint64(devices.size()));
    qint64 done = 0;
    int rows = 0;
    const auto put = [&](const Row &row) {
        out->write(row);
        ++rows;
    };
    const auto readElements = [&] {
        if (pendingDevice.isEmpty())
            return;
        QStringList keys;
        for (const Pending &p : pending)
            if (p.device != 0)
                keys << QString::number(p.device);
        const QString sql = elementSql.arg(keys.join(u','));
        QSqlQuery elements(cn.database());
        elements.setForwardOnly(true);
        if (!elements.exec(sql))
            throw DatabaseError(describeError(cn.engine(), elements.lastError()), sql);
        while (elements.next()) {
            const auto at = pendingDevice.constFind(elements.value(0).toInt());
            if (at == pendingDevice.constEnd())
                continue;
            Pending &p = pending[*at];
            Row e = p.row;
            e[IC::Kind].text = elements.value(1).toString().trimmed();
            const QString type = elements.value(2).toString().trimmed();
            e[IC::KindType].text = type == u"M"   ? QStringLiteral("Материалы")
                                   : type == u"S" ? QStringLiteral("Программы")
                                                  : QStringLiteral("Оборудование");
            QString model = elements.value(3).toString().trimmed();
            if (model.isEmpty())
                model = elements.value(4).toString().trimmed();
            e[IC::Model].text = model;
            e[IC::Producer].text = elements.value(5).toString().trimmed();
            e[IC::Serial].text = elements.value(6).toString().trimmed();
            e[IC::Document].text = elements.value(7).toString().trimmed();
            const QVariant date = normalizeValue(FieldType::DateTime, elements.value(8));
            if (!date.isNull()) {
                e[IC::DocumentDate].date = date.toDateTime().date();
                e[IC::DocumentDate].text = e[IC::DocumentDate].date.toString(QStringLiteral("dd.MM.yyyy"));
            }
            e[IC::Supplier].text = elements.value(9).toString().trimmed();
            if (!elements.value(10).isNull()) {
                const qint64 units = Money::toUnits(normalizeValue(FieldType::Money, elements.value(10)));
                e[IC::Price].text = priceText(units);
                e[IC::Price].number = double(units) / 10000.0;
            }
            if (!elements.value(11).isNull()) {
                e[IC::Warranty].text = QString::number(elements.value(11).toInt());
                e[IC::Warranty].number = elements.value(11).toInt();
            }
            p.elements.push_back(std::move(e));
        }
    };
    const auto flush = [&] {
        readElements();
        for (const Pending &p : pending) {
            if (p.elements.empty())
                put(p.row);
            for (const Row &e : p.elements)
                put(e);
        }
        done += pendingDevice.size();
        pending.clear();
        pendingDevice.clear();
        if (options.progress && !options.progress(int(done * 1000 / total)))
            throw AppError(QStringLiteral("Выгрузка прервана"));
    };
    const auto add = [&](const Row &row, int device) {
        if (device != 0)
            pendingDevice.insert(device, pending.size());
        pending.push_back({row, device, {}});
        if (size_t(pendingDevice.size()) >= Batch)
            flush();
    };
    for (int did : departmentOrder) {
        const Department &d = departments.at(did);
        Row place{};
        place[IC::Department].text = d.path;
        if (d.workplaces.empty() && d.children.empty() && onlyWorkplace == 0)
            add(place, 0);
        for (int wid : d.workplaces) {
            if (onlyWorkplace != 0 && wid != onlyWorkplace)
                continue;
            const Workplace &w = workplaces.at(wid);
            place[IC::Workplace].text = w.name;
            if (w.devices.empty())
                add(place, 0);
            for (int vid : w.devices) {
                if (onlyDevice != 0 && vid != onlyDevice)
                    continue;
                const Device &v = devices.at(vid);
                Row row = place;
                row[IC::Device].text = v.name;
                row[IC::DeviceKind].text = v.kind;
                row[IC::InventoryNumber].text = v.number;
                row[IC::NetworkName].text = v.domain;
                add(row, vid);
            }
        }
    }
    flush();
    out->finish();
    tx.commit();
    if (options.progress)
        options.progress(1000);
    return rows;
}
