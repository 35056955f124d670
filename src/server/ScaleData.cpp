// The large generated database. Like the demo organisation it writes plain rows and leaves what the
// database derives to the database's own triggers. The exceptions are the change journal, paused
// for the load, and the count of devices per kind during a large load on PostgreSQL (see
// CreateScaleData).

#include "server/DemoData.h"

#include "data/BulkInsert.h"
#include "data/Connection.h"
#include "data/Errors.h"
#include "data/Procedures.h"
#include "server/DemoCatalogue.h"
#include "server/JournalPause.h"
#include "server/Schema.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <vector>

using namespace demodata;

namespace {

// Maps the (key, unique text) pairs returned by an insert to text -> key.
QHash<QString, int> keysByText(const std::vector<QVariantList> &rows) {
    QHash<QString, int> out;
    out.reserve(qsizetype(rows.size()));
    for (const QVariantList &r : rows)
        out.insert(r.value(1).toString(), r.value(0).toInt());
    return out;
}

// ---- The generated database --------------------------------------------------------------------

// A large organisation's catalogue holds far more models than its devices use today: cartridges
// for every printer it ever had, monitors and disks of every purchase. About one model per 250
// devices of each of these kinds (20 at least, 400 at most), numbered on from those already there;
// no element refers to them.
void addCatalogueRange(Connection &cn, const Catalogue &cat, int devices) {
    struct Range {
        const char *kind, *trademark, *prefix, *parameters;
    };
    const Range ranges[] = {
        {"Картридж", "HP", "CE%1A", "%1 страниц"},
        {"Монитор", "LG", "%1MP60G", "%1\", IPS"},
        {"Жёсткий диск", "Seagate", "ST%1DM", "%1 ГБ, SATA"},
    };
    const int wanted = std::clamp(devices / 250, 20, 400);
    BulkInsert ins(cn, QStringLiteral("Model"),
                   {QStringLiteral("ModlKind"), QStringLiteral("ModlIdProducer"),
                    QStringLiteral("ModlNumber"), QStringLiteral("ModlName"), QStringLiteral("ModlNameOnly"),
                    QStringLiteral("ModlParametersValue")});
    for (const Range &r : ranges) {
        const int kind = cat.kinds.value(str(r.kind));
        const int producer = cat.trademarks.value(str(r.trademark));
        const int have = cn.scalar(QStringLiteral("SELECT count(*) FROM Model WHERE ModlKind = :K"),
                                   {{QStringLiteral("K"), kind}})
                             .toInt();
        for (int i = have; i < wanted; ++i) {
            const QString number = str(r.prefix).arg(100 + i);
            ins.add({kind, producer, number, str(r.trademark) + u' ' + number, false,
                     str(r.parameters).arg(1000 + 50 * i)});
        }
    }
    ins.flush();
}

// What each kind of generated device holds; alternatives of a slot are taken in turn.
struct Slot {
    std::vector<const char *> models;
};

const std::vector<Slot> ComputerSlots = {
    {{"Core i3-10100", "Core i5-10400", "Ryzen 5 3600"}},
    {{"PRIME H410M-E", "PRIME H410M-E", "PRIME B450M-A"}},
    {{"KVR26N19S8/8", "KVR32N22S8/16", "KVR26N19S8/8"}},
    {{"KVR26N19S8/8", "KVR32N22S8/16", "KVR26N19S8/8"}},
    {{"SA400S37/240G", "MZ-V8V500BW", "SA400S37/240G"}},
    {{"ST1000DM010"}},
    {{"24MK430H-B", "S24R350FHI", "24MK430H-B"}},
    {{"Windows 10 Pro", "Windows 11 Pro", "Special Edition 1.7"}},
    {{"Office 2019 Standard", "Office 2019 Standard", "LibreOffice 7.5"}},
    {{"Endpoint Security 11"}},
};

const std::vector<Slot> LaptopSlots = {
    {{"Core i5-10400"}},        {{"KVR32N22S8/16"}},        {{"KVR32N22S8/16"}}, {{"MZ-V8V500BW"}},
    {{"ST1000DM010"}},          {{"S24R350FHI"}},           {{"K120"}},          {{"Windows 11 Pro"}},
    {{"Office 2019 Standard"}}, {{"Endpoint Security 11"}},
};

enum class Generated { Computer, Laptop, Printer, Mfp };

Generated generatedKind(int i) {
    switch (i % 10) {
    case 6:
        return Generated::Laptop;
    case 7:
    case 8:
        return Generated::Printer;
    case 9:
        return Generated::Mfp;
    default:
        return Generated::Computer;
    }
}

} // namespace

void CreateScaleData(Connection &cn, int devices) {
    // Serial numbers have nine digits; ten elements a device keeps them below a billion.
    if (devices < 1 || devices > 10'000'000)
        throw AppError(QStringLiteral("Число устройств должно быть от 1 до 10 000 000"));

    QElapsedTimer clock;
    clock.start();
    // SQLite writes the pages of a transaction out when its page cache (2 MB by default) is
    // full, and reads them back for every index it updates: a larger cache for the load makes it
    // several times faster. The cache is this connection's alone and is restored afterwards.
    QVariant cacheSize;
    if (cn.engine() == Engine::SQLite) {
        cacheSize = cn.scalar(QStringLiteral("PRAGMA cache_size"));
        cn.execute(QStringLiteral("PRAGMA cache_size = -262144"));
    }
    struct RestoreCache {
        Connection &cn;
        QVariant size;
        ~RestoreCache() {
            if (size.isValid()) {
                try {
                    cn.execute(QStringLiteral("PRAGMA cache_size = %1").arg(size.toLongLong()));
                } catch (const AppError &) {
                }
            }
        }
    } restoreCache{cn, cacheSize};
    // The load takes minutes: rather than give up at the end of them, it waits longer for the
    // rows other users hold.
    const BulkWaitLimit bulkWait(cn);
    Transaction tx(cn);
    // A generated organisation is nobody's edit: the journal would only double the file and the time.
    Journal::Pause journal(cn);
    const Catalogue cat = ensureCatalogue(cn);

    // Numbers continue those of earlier rows, so that names stay distinct when the database is
    // filled more than once. A serial number is the element's running number after the highest
    // element key so far: keys are never reused, so no element of an earlier run has a number as
    // high (its own serial number never exceeds its key).
    const int departmentBase = cn.scalar(QStringLiteral("SELECT count(*) FROM Department")).toInt();
    const int workplaceBase = cn.scalar(QStringLiteral("SELECT count(*) FROM Workplace")).toInt();
    const int deviceBase = cn.scalar(QStringLiteral("SELECT count(*) FROM DeviceUnit")).toInt();
    qint64 serial =
        cn.scalar(QStringLiteral("SELECT coalesce(max(IdComponent), 0) FROM CompleteSet")).toLongLong();

    // Departments: one top level of sites, the rest departments of those sites.
    const int departmentCount = std::max(2, devices / 200);
    const int siteCount = std::max(1, departmentCount / 10);
    const int sectionCount = departmentCount - siteCount;
    std::vector<int> sites, sections;
    {
        BulkInsert ins(cn, QStringLiteral("Department"),
                       {QStringLiteral("DprtName"), QStringLiteral("Synonym")},
                       QStringLiteral("IdDepartment, DprtName"));
        QStringList names;
        for (int i = 0; i < siteCount; ++i) {
            names << QStringLiteral("Площадка %1").arg(departmentBase + i + 1);
            ins.add({names.back(), QStringLiteral("Филиал")});
        }
        ins.flush();
        const QHash<QString, int> keys = keysByText(ins.takeReturned());
        for (const QString &n : names)
            sites.push_back(keys.value(n));
    }
    {
        BulkInsert ins(cn, QStringLiteral("Department"),
                       {QStringLiteral("DprtName"), QStringLiteral("DprtIdHigher")},
                       QStringLiteral("IdDepartment, DprtName"));
        QStringList names;
        for (int i = 0; i < sectionCount; ++i) {
            names << QStringLiteral("Отдел %1").arg(departmentBase + siteCount + i + 1);
            ins.add({names.back(), sites[size_t(i % siteCount)]});
        }
        ins.flush();
        const QHash<QString, int> keys = keysByText(ins.takeReturned());
        for (const QString &n : names)
            sections.push_back(keys.value(n));
    }

    // Workplaces, in runs of neighbours per department, ordered 1, 2, ... within it.
    const int workplaceCount = std::max(1, devices / 2);
    std::vector<int> workplaces(static_cast<size_t>(workplaceCount));
    {
        BulkInsert ins(cn, QStringLiteral("Workplace"),
                       {QStringLiteral("WrkpIdDepartment"), QStringLiteral("WrkpName"),
                        QStringLiteral("WrkpOrder"), QStringLiteral("Phone")},
                       QStringLiteral("IdWorkplace, WrkpName"));
        QHash<QString, int> keys;
        QStringList names;
        int previous = -1, order = 0;
        for (int w = 0; w < workplaceCount; ++w) {
            const int d = int(qint64(w) * sectionCount / workplaceCount);
            order = d == previous ? order + 1 : 1;
            previous = d;
            names << QStringLiteral("Рабочее место %1").arg(workplaceBase + w + 1, 6, 10, QLatin1Char('0'));
            ins.add({sections[size_t(d)], names.back(), order,
                     QStringLiteral("%1-%2").arg(2 + w % 7).arg(w % 10000, 4, 10, QLatin1Char('0'))});
            if (w % 500 == 499 || w == workplaceCount - 1) {
                ins.flush();
                keys.insert(keysByText(ins.takeReturned()));
            }
        }
        for (int w = 0; w < workplaceCount; ++w)
            workplaces[size_t(w)] = keys.value(names[w]);
    }

    addCatalogueRange(cn, cat, devices);

    const int computerKind = cat.kinds.value(QStringLiteral("Компьютер"));
    const int laptopKind = cat.kinds.value(QStringLiteral("Ноутбук"));
    const int printerKind = cat.kinds.value(QStringLiteral("Принтер"));
    const int mfpKind = cat.kinds.value(QStringLiteral("МФУ"));

    BulkInsert deviceIns(cn, QStringLiteral("DeviceUnit"),
                         {QStringLiteral("DevcIdWorkplace"), QStringLiteral("DevcIdKind"),
                          QStringLiteral("DevcName"), QStringLiteral("DevcNumber"), QStringLiteral("Domain"),
                          QStringLiteral("Used"), QStringLiteral("DevcPrinting"),
                          QStringLiteral("Prevention"), QStringLiteral("PreventionNeed"),
                          QStringLiteral("PreventionExpress")},
                         QStringLiteral("IdDevice, DevcNumber"));
    BulkInsert elementIns(
        cn, QStringLiteral("CompleteSet"),
        {QStringLiteral("CmplIdDevice"), QStringLiteral("CmplIdModel"), QStringLiteral("ModelKind"),
         QStringLiteral("CmplDateSet"), QStringLiteral("NumberManufact"), QStringLiteral("Warranty"),
         QStringLiteral("Price"), QStringLiteral("DocumentId"), QStringLiteral("DocumentPosition")});
    BulkInsert documentIns(cn, QStringLiteral("Document"),
                           {QStringLiteral("DocKind"), QStringLiteral("DocNumber"), QStringLiteral("DocDate"),
                            QStringLiteral("DocClient")},
                           QStringLiteral("IdDocument, DocNumber"));

    const QDate today = QDate::currentDate();
    // The elements of a chunk of devices are collected first: they come with incoming documents,
    // one for every few devices (a few dozen positions), dated on or before the first installation
    // among its positions, so that the documents spread over the same years as the elements.
    struct PendingElement {
        int device;
        const CatalogueModel *model;
        QDateTime installed;
        int group; // the document's running number within the chunk
    };
    std::vector<PendingElement> pending;
    constexpr int DevicesPerDocument = 4;
    const QString suppliers[] = {QStringLiteral("ООО «ТехноСнаб»"), QStringLiteral("ООО «Компьютерный мир»"),
                                 QStringLiteral("ИП Сидоров Андрей Викторович")};
    const char *const documentKinds = "NNNCA"; // mostly delivery notes, some invoices and acts
    int documentNo = cn.scalar(QStringLiteral("SELECT count(*) FROM Document")).toInt();
    auto addElement = [&](int device, const CatalogueModel &m, const QDateTime &installed, int group) {
        pending.push_back({device, &m, installed, group});
    };
    auto flushElements = [&] {
        std::vector<QDate> dates;
        for (const PendingElement &e : pending) {
            if (size_t(e.group) >= dates.size())
                dates.resize(size_t(e.group) + 1);
            QDate &d = dates[size_t(e.group)];
            if (!d.isValid() || e.installed.date() < d)
                d = e.installed.date();
        }
        QStringList numbers;
        for (size_t g = 0; g < dates.size(); ++g) {
            ++documentNo;
            numbers << QStringLiteral("ПН-%1").arg(documentNo, 7, 10, QLatin1Char('0'));
            documentIns.add({QString(QLatin1Char(documentKinds[documentNo % 5])), numbers.back(),
                             QDateTime(dates[g].addDays(-(documentNo % 9)), QTime(0, 0)),
                             cat.firms.value(suppliers[documentNo % 3])});
        }
        documentIns.flush();
        const QHash<QString, int> keys = keysByText(documentIns.takeReturned());
        std::vector<int> positions(dates.size());
        for (const PendingElement &e : pending) {
            const CatalogueModel &m = *e.model;
            elementIns.add({e.device, m.id, m.kind, e.installed,
                            QStringLiteral("SN%1").arg(++serial, 9, 10, QLatin1Char('0')),
                            m.def->warranty > 0 ? QVariant(m.def->warranty) : QVariant(), text(m.def->price),
                            keys.value(numbers[e.group]), ++positions[size_t(e.group)]});
        }
        pending.clear();
    };

    // On PostgreSQL every device counted into its kind's row makes a new version of that row, and
    // within one transaction each update walks all the earlier versions: 60 000 devices of one
    // kind took over a minute. The documents counted into their supplier's and kind's rows do the
    // same. So the triggers that count them are switched off for the load and the counts are set
    // once at the end. Both happen inside the load's transaction, so a failure leaves the triggers
    // as they were; it is done only where a trigger is there under its name and the account owns
    // the table, else the trigger simply keeps counting.
    struct PausedCounter {
        const char *table, *trigger, *recount;
    };
    const PausedCounter counters[] = {
        {"DeviceUnit", "trDeviceUnitUsesDevice",
         "UPDATE Kind SET UsesDevice = (SELECT count(*) FROM DeviceUnit WHERE DevcIdKind = Kind.IdKind) "
         "WHERE UsesDevice <> (SELECT count(*) FROM DeviceUnit WHERE DevcIdKind = Kind.IdKind)"},
        {"Document", "trDocumentCountDoc",
         "UPDATE Client SET CountDoc = (SELECT count(*) FROM Document WHERE DocClient = Client.IdClient) "
         "WHERE CountDoc <> (SELECT count(*) FROM Document WHERE DocClient = Client.IdClient)"},
        {"Document", "trDocumentUses",
         "UPDATE DocKind SET Uses = (SELECT count(*) FROM Document WHERE Document.DocKind = DocKind.ID) "
         "WHERE Uses <> (SELECT count(*) FROM Document WHERE Document.DocKind = DocKind.ID)"},
    };
    std::vector<const PausedCounter *> paused;
    if (cn.engine() == Engine::PostgreSQL)
        for (const PausedCounter &c : counters) {
            const QString table = QString::fromLatin1(c.table), trigger = QString::fromLatin1(c.trigger);
            if (cn.scalar(
                      QStringLiteral("SELECT count(*) FROM pg_trigger t JOIN pg_class c ON c.oid = t.tgrelid "
                                     "WHERE t.tgrelid = to_regclass(:T) AND t.tgname = :N "
                                     "AND t.tgenabled <> 'D' AND pg_has_role(c.relowner, 'USAGE')"),
                      {{QStringLiteral("T"), table.toLower()}, {QStringLiteral("N"), trigger.toLower()}})
                    .toInt() > 0) {
                cn.execute(QStringLiteral("ALTER TABLE %1 DISABLE TRIGGER %2").arg(table, trigger));
                paused.push_back(&c);
            }
        }

    Schema::ProgramFoldForLoad fold(cn);
    progress(QStringLiteral("Создание %1 устройств...").arg(devices));
    constexpr int Chunk = 500;
    int reported = 0;
    for (int start = 0; start < devices; start += Chunk) {
        const int end = std::min(devices, start + Chunk);
        QStringList numbers;
        for (int i = start; i < end; ++i) {
            const int n = deviceBase + i + 1;
            const Generated g = generatedKind(i);
            const bool computer = g == Generated::Computer || g == Generated::Laptop;
            QString name, domain;
            int kind = computerKind;
            switch (g) {
            case Generated::Computer:
                name = QStringLiteral("Системный блок %1");
                kind = computerKind;
                break;
            case Generated::Laptop:
                name = QStringLiteral("Lenovo ThinkPad %1");
                kind = laptopKind;
                break;
            case Generated::Printer:
                name = QStringLiteral("Kyocera ECOSYS P2040dn %1");
                kind = printerKind;
                break;
            case Generated::Mfp:
                name = QStringLiteral("Kyocera ECOSYS M2040dn %1");
                kind = mfpKind;
                break;
            }
            name = name.arg(n, 6, 10, QLatin1Char('0'));
            // Most computers are on the network; one in eight is not (stored, not yet set up).
            if (computer && i % 8 != 3)
                domain = (g == Generated::Laptop ? QStringLiteral("nb-%1") : QStringLiteral("ws-%1"))
                             .arg(n, 6, 10, QLatin1Char('0'));
            numbers << QStringLiteral("И-%1").arg(n, 7, 10, QLatin1Char('0'));
            const int workplace = workplaces[size_t(qint64(i) * workplaceCount / devices)];
            deviceIns.add(
                {workplace, kind, name, numbers.back(), domain.isEmpty() ? QVariant() : QVariant(domain),
                 i % 50 == 25 ? 2 : 1, true,
                 computer ? QVariant(QDateTime(today.addDays(-(i * 7 % 400)), QTime(14, 0))) : QVariant(),
                 i % 20 == 0, i % 200 == 0});
        }
        deviceIns.flush();
        const QHash<QString, int> keys = keysByText(deviceIns.takeReturned());

        for (int i = start; i < end; ++i) {
            const int device = keys.value(numbers[i - start]);
            const int group = (i - start) / DevicesPerDocument;
            const Generated g = generatedKind(i);
            if (g == Generated::Computer || g == Generated::Laptop) {
                const QDateTime installed(today.addDays(-(i * 37 % 1500)), QTime(9 + i % 8, i % 60));
                for (const Slot &s : g == Generated::Computer ? ComputerSlots : LaptopSlots)
                    addElement(device, cat.model(s.models[size_t(i / 10 % int(s.models.size()))]), installed,
                               group);
            } else {
                // Eight cartridges and two drums replaced at regular intervals; the last
                // replacement lies anywhere in the last two intervals, so some are overdue.
                const CatalogueModel &cartridge = cat.model(g == Generated::Printer ? "TK-1160" : "TK-1170");
                const CatalogueModel &drum = cat.model("DK-1150");
                const int interval = 30 + i % 61;
                const int last = i * 13 % (2 * interval);
                for (int k = 7; k >= 0; --k)
                    addElement(device, cartridge,
                               QDateTime(today.addDays(-(last + k * interval)), QTime(10, 0)), group);
                for (int k = 1; k >= 0; --k)
                    addElement(device, drum,
                               QDateTime(today.addDays(-(last + 1 + k * 4 * interval)), QTime(10, 30)),
                               group);
            }
        }
        flushElements();
        const int percent = int(qint64(end) * 100 / devices);
        if (percent / 10 > reported / 10 || end == devices) {
            reported = percent;
            progress(QStringLiteral("%1% (%2 устройств, %3 с)")
                         .arg(percent)
                         .arg(end)
                         .arg(clock.elapsed() / 1000.0, 0, 'f', 1));
        }
    }
    elementIns.flush();
    fold.restore();
    for (const PausedCounter *c : paused) {
        cn.execute(QString::fromLatin1(c->recount));
        cn.execute(QStringLiteral("ALTER TABLE %1 ENABLE TRIGGER %2")
                       .arg(QString::fromLatin1(c->table), QString::fromLatin1(c->trigger)));
    }
    journal.restore();
    tx.commit();
    // Fresh statistics for the planner after a bulk load. Not for the journal, which the load left
    // empty: on SQLite figures of an empty journal would stay and make the planner read a journal
    // of millions of entries whole for one object's history; without them it takes the indexes.
    cn.execute(QStringLiteral("ANALYZE"));
    if (cn.engine() == Engine::SQLite)
        cn.execute(QStringLiteral("DELETE FROM sqlite_stat1 WHERE tbl IN ('Journal', 'JournalPerson')"));
}
