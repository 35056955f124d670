// The spreadsheet import on a large database: every element exported to a CSV file, the file
// imported into an empty database of the same engine, against writing the same rows with prepared
// inserts in one transaction into another empty database; and the resident memory the import
// needs.
#include "data/Connection.h"
#include "data/Errors.h"
#include "data/RowScan.h"
#include "data/SchemaInfo.h"
#include "model/InventoryExport.h"
#include "model/InventoryImport.h"
#include "server/Server.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <malloc.h>
#include <memory>
#include <vector>

namespace {

void figure(QTextStream &out, const char *name, double value, int precision = 2) {
    out << name << ' ' << QString::number(value, 'f', precision) << Qt::endl;
}

// A line of /proc/self/status in megabytes ("VmRSS", "VmHWM").
double statusMb(const char *field) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field)) + 1).trimmed().split(' ').front().toDouble() / 1024.0;
    return 0;
}

// An empty database with the program's schema beside the one measured: a file in `dir`, or a
// database of its own on the same PostgreSQL server.
class EmptyDatabase {
public:
    EmptyDatabase(Connection &source, const QTemporaryDir &dir, const QString &name) : m_source(source) {
        DatabaseUrl u = source.url();
        if (u.engine == Engine::SQLite) {
            u.path = dir.filePath(name + QStringLiteral(".db"));
        } else {
            u.name = u.name + u'_' + name;
            m_dropName = u.name;
            source.execute(QStringLiteral("DROP DATABASE IF EXISTS \"%1\"").arg(m_dropName));
            source.execute(QStringLiteral("CREATE DATABASE \"%1\"").arg(m_dropName));
        }
        cn.open(u.toString());
        PrepareDatabase(cn);
    }
    ~EmptyDatabase() {
        cn.close();
        if (!m_dropName.isEmpty()) {
            try {
                m_source.execute(QStringLiteral("DROP DATABASE IF EXISTS \"%1\"").arg(m_dropName));
            } catch (const AppError &) {
            }
        }
    }
    Connection cn;

private:
    Connection &m_source;
    QString m_dropName;
};

class Insert {
public:
    Insert(Connection &cn, const QString &sql) : m_cn(cn), m_sql(sql), m_q(cn.database()) {
        m_q.setForwardOnly(true);
        if (!m_q.prepare(prepareSql(sql, cn.engine()).text))
            throw DatabaseError(describeError(cn.engine(), m_q.lastError()), sql);
    }
    int run(const QVariantList &values) {
        for (int i = 0; i < values.size(); ++i)
            m_q.bindValue(i, bindableValue(values[i]));
        if (!m_q.exec())
            throw DatabaseError(describeError(m_cn.engine(), m_q.lastError()), m_sql);
        const int key = m_q.next() ? m_q.value(0).toInt() : 0;
        m_q.finish();
        return key;
    }

private:
    Connection &m_cn;
    QString m_sql;
    QSqlQuery m_q;
};

QVariant key(const std::vector<int> &map, qint64 id) {
    return id > 0 && size_t(id) < map.size() && map[size_t(id)] ? QVariant(map[size_t(id)]) : QVariant();
}

QVariant textOrNull(QStringView s) {
    return s.isEmpty() ? QVariant() : QVariant(s.toString());
}

// The same rows the import writes, read from the source first and then written into `target` with
// one prepared insert per row in one transaction. Returns the milliseconds of the writing.
double bareLoad(Connection &source, Connection &target) {
    struct Row {
        std::vector<qint64> ints;
        std::vector<QString> texts;
    };
    // Reads a table whole: `ints` integer columns, then text columns.
    auto read = [&](const QString &sql, int ints, int texts) {
        std::vector<Row> rows;
        RowScan scan(source, sql);
        while (scan.next()) {
            Row r;
            for (int i = 0; i < ints; ++i)
                r.ints.push_back(scan.isNull(i) ? -1 : scan.integer(i));
            for (int i = 0; i < texts; ++i)
                r.texts.push_back(scan.text(ints + i).toString());
            rows.push_back(std::move(r));
        }
        return rows;
    };
    const auto kinds = read(QStringLiteral("SELECT IdKind, KindType, KindName FROM Kind"), 1, 2);
    const auto firms = read(QStringLiteral("SELECT IdClient, ClntNameFull, ClntNameShort FROM Client"), 1, 2);
    const auto models = read(
        QStringLiteral("SELECT IdModel, ModlKind, ModlIdProducer, ModlNumber, ModlName FROM Model"), 3, 2);
    const auto documents = read(QStringLiteral("SELECT IdDocument, DocClient, DocKind, DocNumber, "
                                               "substr(CAST(DocDate AS VARCHAR(30)), 1, 19) FROM Document"),
                                2, 3);
    const auto departments = read(
        QStringLiteral(
            "SELECT IdDepartment, DprtIdHigher, DprtOrder, DprtName FROM Department ORDER BY IdDepartment"),
        3, 1);
    const auto workplaces = read(
        QStringLiteral("SELECT IdWorkplace, WrkpIdDepartment, WrkpOrder, WrkpName FROM Workplace"), 3, 1);
    const auto devices =
        read(QStringLiteral("SELECT IdDevice, DevcIdWorkplace, DevcIdKind, DevcName, DevcNumber, "
                            "Domain FROM DeviceUnit"),
             3, 3);
    const auto elements =
        read(QStringLiteral(
                 "SELECT CmplIdDevice, CmplIdModel, ModelKind, DocumentId, "
                 "DocumentPosition, Warranty, NumberManufact, CAST(Price AS VARCHAR(30)) FROM CompleteSet"),
             6, 2);
    auto maxId = [](const std::vector<Row> &rows) {
        qint64 m = 0;
        for (const Row &r : rows)
            m = std::max(m, r.ints[0]);
        return size_t(m + 1);
    };

    QElapsedTimer t;
    t.start();
    Transaction tx(target);
    std::vector<int> kindMap(maxId(kinds)), firmMap(maxId(firms)), modelMap(maxId(models)),
        documentMap(maxId(documents)), departmentMap(maxId(departments)), workplaceMap(maxId(workplaces)),
        deviceMap(maxId(devices));
    {
        QHash<QString, int> have;
        for (const auto &r : target.query(QStringLiteral("SELECT IdKind, KindType, KindName FROM Kind")).rows)
            have.insert(r[1].toString() + r[2].toString(), r[0].toInt());
        Insert ins(target,
                   QStringLiteral("INSERT INTO Kind (KindType, KindName) VALUES (?, ?) RETURNING IdKind"));
        for (const Row &r : kinds) {
            int id = have.value(r.texts[0] + r.texts[1]);
            kindMap[size_t(r.ints[0])] = id ? id : ins.run({r.texts[0], r.texts[1]});
        }
    }
    {
        Insert ins(target, QStringLiteral("INSERT INTO Client (ClntNameFull, ClntNameShort) VALUES (?, ?) "
                                          "RETURNING IdClient"));
        for (const Row &r : firms)
            firmMap[size_t(r.ints[0])] = ins.run({r.texts[0], textOrNull(r.texts[1])});
    }
    {
        Insert ins(target,
                   QStringLiteral("INSERT INTO Model (ModlKind, ModlIdProducer, ModlNumber, ModlName) "
                                  "VALUES (?, ?, ?, ?) RETURNING IdModel"));
        for (const Row &r : models)
            modelMap[size_t(r.ints[0])] =
                ins.run({key(kindMap, r.ints[1]), key(firmMap, r.ints[2]), r.texts[0], r.texts[1]});
    }
    {
        Insert ins(target, QStringLiteral("INSERT INTO Document (DocClient, DocKind, DocNumber, DocDate) "
                                          "VALUES (?, ?, ?, ?) RETURNING IdDocument"));
        for (const Row &r : documents)
            documentMap[size_t(r.ints[0])] = ins.run({key(firmMap, r.ints[1]), r.texts[0], r.texts[1],
                                                      normalizeValue(FieldType::DateTime, r.texts[2])});
    }
    {
        Insert ins(target, QStringLiteral(
                               "INSERT INTO Department (DprtIdHigher, DprtOrder, DprtName) VALUES (?, ?, ?) "
                               "RETURNING IdDepartment"));
        for (const Row &r : departments)
            departmentMap[size_t(r.ints[0])] =
                ins.run({key(departmentMap, r.ints[1]), r.ints[2], r.texts[0]});
    }
    {
        Insert ins(
            target,
            QStringLiteral("INSERT INTO Workplace (WrkpIdDepartment, WrkpOrder, WrkpName) VALUES (?, ?, ?) "
                           "RETURNING IdWorkplace"));
        for (const Row &r : workplaces)
            workplaceMap[size_t(r.ints[0])] = ins.run({key(departmentMap, r.ints[1]), r.ints[2], r.texts[0]});
    }
    {
        Insert ins(target, QStringLiteral("INSERT INTO DeviceUnit (DevcIdWorkplace, DevcIdKind, DevcName, "
                                          "DevcNumber, Domain) VALUES (?, ?, ?, ?, ?) RETURNING IdDevice"));
        for (const Row &r : devices)
            deviceMap[size_t(r.ints[0])] =
                ins.run({key(workplaceMap, r.ints[1]), key(kindMap, r.ints[2]), r.texts[0],
                         textOrNull(r.texts[1]), textOrNull(r.texts[2])});
    }
    {
        Insert ins(target, QStringLiteral("INSERT INTO CompleteSet (CmplIdDevice, CmplIdModel, ModelKind, "
                                          "DocumentId, DocumentPosition, Warranty, NumberManufact, Price) "
                                          "VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
        for (const Row &r : elements)
            ins.run({key(deviceMap, r.ints[0]), key(modelMap, r.ints[1]), key(kindMap, r.ints[2]),
                     key(documentMap, r.ints[3]), r.ints[4] < 0 ? QVariant() : QVariant(r.ints[4]),
                     r.ints[5] < 0 ? QVariant() : QVariant(r.ints[5]), textOrNull(r.texts[0]),
                     textOrNull(r.texts[1])});
    }
    tx.commit();
    return t.nsecsElapsed() / 1e6;
}

} // namespace

void BenchImport(Connection &cn, QTextStream &out) {
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("inventory.csv"));
    QElapsedTimer t;
    t.start();
    const int rows = ExportInventory(cn, csv);
    figure(out, "export_rows", rows, 0);
    figure(out, "export_csv_ms", t.nsecsElapsed() / 1e6, 0);
    figure(out, "export_csv_mb", QFile(csv).size() / 1048576.0, 1);

    double importMs = 0, peakMb = 0;
    {
        EmptyDatabase target(cn, dir, QStringLiteral("import"));
        malloc_trim(0);
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5"); // the peak of resident memory starts again from here
        clear.close();
        const double startMb = statusMb("VmRSS:");
        t.restart();
        const ImportResult r = ImportInventory(target.cn, csv);
        importMs = t.nsecsElapsed() / 1e6;
        peakMb = statusMb("VmHWM:");
        if (r.errorCount > 0)
            out << "import refused: " << r.errors.value(0) << Qt::endl;
        figure(out, "import_elements", r.count(ImportItem::Element).made, 0);
        figure(out, "import_rss_start_mb", startMb, 0);
    }
    figure(out, "import_ms", importMs, 0);
    figure(out, "import_rss_peak_mb", peakMb, 0);
    double bareMs = 0;
    {
        EmptyDatabase target(cn, dir, QStringLiteral("bare"));
        bareMs = bareLoad(cn, target.cn);
    }
    figure(out, "import_bare_ms", bareMs, 0);
    figure(out, "import_ratio", importMs / bareMs);
}
