// The placement tree of departments, workplaces and devices, and the complete set of a device.
#include "server/ServerProcs.h"

#include "data/Errors.h"
#include "data/RowScan.h"
#include "server/PlacementCommon.h"
#include "server/ProcText.h"

#include <QHash>
#include <algorithm>
#include <vector>

using namespace placement;

namespace {

// Asks for memory that is about to be read.
inline void prefetch(const void *p) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(p);
#else
    Q_UNUSED(p);
#endif
}
// ---- LoadTree -----------------------------------------------------------------------------------

// Image of a node in the ImageType column.
enum TreeImage { ImageDepartment = 0, ImageWorkplace = 1, ImageDevice = 2, ImageNetworkDevice = 3 };

constexpr int CaptionWidth = 100;

// Texts of many rows kept end to end in one buffer: reading a large table then makes no string
// per row that would have to be freed later, and the texts of the rows lie close together.
class TextPool {
public:
    struct Ref {
        quint32 at = 0, size = 0;
    };
    Ref add(QStringView s) {
        const Ref r{quint32(m_chars.size()), quint32(s.size())};
        if (m_chars.size() + size_t(s.size()) > std::numeric_limits<quint32>::max())
            throw AppError(str("Слишком много данных для построения дерева"));
        m_chars.insert(m_chars.end(), s.utf16(), s.utf16() + s.size());
        return r;
    }
    void reserve(size_t chars) {
        m_chars.reserve(std::min<size_t>(chars, std::numeric_limits<quint32>::max()));
    }
    // Valid until the next add.
    QStringView view(Ref r) const { return QStringView(m_chars.data() + r.at, qsizetype(r.size)); }
    const char16_t *at(Ref r) const { return m_chars.data() + r.at; }

private:
    std::vector<char16_t> m_chars;
};

// What the tree keeps of a row to place it; its result row is made when it is placed, so that the
// rows come to lie in memory in the order they are returned.
struct TreeDepartment {
    DepartmentKey key; // key.name is the caption
    int parentId;
    bool hasParent;
};
struct TreeWorkplace {
    WorkplaceKey key;
    int department, departmentId; // index into the departments (-1 when missing) and key
    TextPool::Ref name, phone;
};
struct TreeDevice {
    int id;
    int workplace, workplaceId; // index into the workplaces (-1 when missing) and key
    int kind;                   // index into the kind texts, -1 for none
    quint64 namePrefix;
    TextPool::Ref name, domain;
};
using TreeRow = QVector<QVariant>;

TreeRow treeRow(QString caption, int id, const QVariant &higher, const QVariant &kind, int image) {
    // Each value made in its place: no default value first, and no copy of the caption.
    TreeRow r;
    r.reserve(5);
    r.emplace_back(std::move(caption));
    r.emplace_back(id);
    r.emplace_back(higher);
    r.emplace_back(kind);
    r.emplace_back(image);
    return r;
}

// The text of a caption joined from pieces, in one allocation.
QString concat(std::initializer_list<QStringView> pieces, int width) {
    qsizetype size = 0;
    for (QStringView p : pieces)
        size += p.size();
    QString s(std::min<qsizetype>(size, width), Qt::Uninitialized);
    QChar *out = s.data();
    qsizetype left = s.size();
    for (QStringView p : pieces) {
        const qsizetype n = std::min(left, p.size());
        std::copy_n(p.data(), n, out);
        out += n;
        left -= n;
    }
    return s;
}

// The caption of a workplace: its name, with " (тел. N)" when it has a phone.
QString workplaceCaption(QStringView name, QStringView phone) {
    return phone.isEmpty() ? concat({name}, CaptionWidth)
                           : concat({name, u" (тел. ", phone, u")"}, CaptionWidth);
}

// The caption of a device: the kind's text and the name, with " [network name]" when it has one.
QString deviceCaption(QStringView prefix, QStringView name, QStringView domain) {
    const QStringView space = !prefix.isEmpty() && !name.isEmpty() ? QStringView(u" ") : QStringView();
    return domain.isEmpty() ? concat({prefix, space, name}, CaptionWidth)
                            : concat({prefix, space, name, u" [", domain, u"]"}, CaptionWidth);
}

// Row numbers by key. Keys are identities, nearly always dense, so a plain array serves; sparse
// keys fall back on a hash.
class KeyIndex {
public:
    explicit KeyIndex(const std::vector<int> &keys) {
        int lo = 0, hi = -1;
        for (int k : keys) {
            lo = std::min(lo, k);
            hi = std::max(hi, k);
        }
        if (lo >= 0 && qint64(hi) <= 4 * qint64(keys.size()) + 1024) {
            m_dense.assign(size_t(hi) + 1, -1);
            for (size_t i = 0; i < keys.size(); ++i)
                m_dense[size_t(keys[i])] = int(i);
        } else {
            m_sparse.reserve(qsizetype(keys.size()));
            for (size_t i = 0; i < keys.size(); ++i)
                m_sparse.insert(keys[i], int(i));
            m_useSparse = true;
        }
    }
    int operator()(int key) const // -1 when absent
    {
        if (m_useSparse)
            return m_sparse.value(key, -1);
        return key >= 0 && size_t(key) < m_dense.size() ? m_dense[size_t(key)] : -1;
    }

private:
    std::vector<int> m_dense;
    QHash<int, int> m_sparse;
    bool m_useSparse = false;
};

// Items grouped by an owner index: the items of owner i are at[start[i] .. start[i + 1]).
struct Groups {
    std::vector<int> start, at;
    std::vector<int> loose; // items whose owner is not there

    template <typename OwnerOf>
    Groups(int owners, int items, OwnerOf ownerOf) : start(size_t(owners) + 1, 0) {
        std::vector<int> owner(static_cast<size_t>(items));
        for (int i = 0; i < items; ++i) {
            owner[size_t(i)] = ownerOf(i);
            if (owner[size_t(i)] >= 0)
                ++start[size_t(owner[size_t(i)]) + 1];
            else
                loose.push_back(i);
        }
        for (int o = 0; o < owners; ++o)
            start[size_t(o) + 1] += start[size_t(o)];
        at.resize(size_t(start[size_t(owners)]));
        std::vector<int> fill(start.begin(), start.end() - 1);
        for (int i = 0; i < items; ++i)
            if (owner[size_t(i)] >= 0)
                at[size_t(fill[size_t(owner[size_t(i)])]++)] = i;
    }
    template <typename Less> void sortEach(Less less) {
        for (size_t o = 0; o + 1 < start.size(); ++o)
            if (start[o + 1] - start[o] > 1)
                std::sort(at.begin() + start[o], at.begin() + start[o + 1], less);
        std::sort(loose.begin(), loose.end(), less);
    }
    int begin(int owner) const { return start[size_t(owner)]; }
    int end(int owner) const { return start[size_t(owner) + 1]; }
};

const char *const DepartmentsSql = "SELECT IdDepartment, DprtIdHigher, DprtName, DprtOrder FROM Department";

void readDepartments(RowScan &rows, std::vector<TreeDepartment> &deps, std::vector<int> &keys) {
    while (rows.next()) {
        const int id = int(rows.integer(0));
        keys.push_back(id);
        deps.push_back({{orderOf(rows, 3), ProcText::cut(rows.text(2).toString(), CaptionWidth), id},
                        int(rows.integer(1)),
                        !rows.isNull(1)});
    }
}

// The sub-departments of every department in the order they are shown. A department whose parent
// is missing, or that sits in a cycle of parents, is loose: it is shown at the top level.
Groups departmentGroups(const std::vector<TreeDepartment> &deps, const KeyIndex &depIndex) {
    const int nd = int(deps.size());
    // The parent each department is shown under, -1 for the top level.
    std::vector<int> parent(size_t(nd), -1);
    for (int i = 0; i < nd; ++i)
        if (deps[size_t(i)].hasParent)
            parent[size_t(i)] = depIndex(deps[size_t(i)].parentId);
    // Cut every cycle of parents: its members go to the top level.
    {
        std::vector<char> state(size_t(nd), 0); // 0 not seen, 1 on the current path, 2 done
        std::vector<int> path;
        for (int i = 0; i < nd; ++i) {
            path.clear();
            int j = i;
            while (j >= 0 && state[size_t(j)] == 0) {
                state[size_t(j)] = 1;
                path.push_back(j);
                j = parent[size_t(j)];
            }
            if (j >= 0 && state[size_t(j)] == 1)
                for (auto it = std::find(path.begin(), path.end(), j); it != path.end(); ++it)
                    parent[size_t(*it)] = -1;
            for (int p : path)
                state[size_t(p)] = 2;
        }
    }
    Groups subDeps(nd, nd, [&](int i) { return parent[size_t(i)]; });
    subDeps.sortEach(
        [&](int a, int b) { return departmentBefore(deps[size_t(a)].key, deps[size_t(b)].key); });
    return subDeps;
}

// The departments depth first in the order they are shown, without recursion, since nesting may be
// as deep as the data makes it: `enter(dep, hasHigher, higherKey)` before a department's
// sub-departments, `leave(dep)` after them.
template <typename Enter, typename Leave>
void walkDepartments(const std::vector<TreeDepartment> &deps, const Groups &subDeps, Enter enter,
                     Leave leave) {
    struct Frame {
        int dep, next;
    };
    std::vector<Frame> stack;
    for (int root : subDeps.loose) {
        enter(root, false, 0);
        stack.push_back({root, subDeps.begin(root)});
        while (!stack.empty()) {
            Frame &f = stack.back();
            if (f.next < subDeps.end(f.dep)) {
                const int child = subDeps.at[size_t(f.next++)];
                enter(child, true, deps[size_t(f.dep)].key.id);
                stack.push_back({child, subDeps.begin(child)});
            } else {
                const int dep = f.dep;
                stack.pop_back();
                leave(dep);
            }
        }
    }
}

QVector<ColumnInfo> treeColumns() {
    return {Proc::col("Caption", FieldType::String, CaptionWidth), Proc::col("ID", FieldType::Integer),
            Proc::col("Higher", FieldType::Integer), Proc::col("Kind", FieldType::String, 1),
            Proc::col("ImageType", FieldType::Integer)};
}

// The whole tree, parents before their children, siblings in the order they are shown:
// - departments of one parent by DprtOrder, name, key; under a department first its
//   sub-departments (each with everything below it), then its workplaces by WrkpOrder, key;
//   under a workplace its devices by name, key; names compare ignoring case;
// - the order is worked out here rather than by the database, so that a department moved under
//   one created after it still comes after its new parent, at any depth;
// - a department whose parent is missing, or that sits in a cycle of parents, is shown at the top
//   level (Higher NULL); its sub-departments stay under it. A workplace or device whose owner is
//   missing comes last, at the top level.
// Captions: the department name; the workplace name with " (тел. N)" when it has a phone; the
// kind's short name (or its name) and the device name, with " [network name]" for a device that
// has one; all cut to 100 characters. ImageType: 0 department, 1 workplace, 2 device,
// 3 device with a network name.
// Each table is read once, whole; nothing is asked per row. Workplace and device texts are kept
// in one buffer while reading, and every result row is made as it is placed.
ResultSet loadTree(ProcedureCall &call) {
    const Connection &cn = call.cn;
    const QVariant kindD(str("D")), kindW(str("W")), kindV(str("V"));
    const QVariant top;

    // SQLite does not tell how many rows a statement returns: the counts, read from the tables'
    // smallest indexes, size the arrays at once instead of growing them by copying.
    size_t expectPlaces = 0, expectDevices = 0;
    if (!isPg(cn)) {
        const ResultSet counts =
            cn.query(str("SELECT (SELECT count(*) FROM Workplace), (SELECT count(*) FROM DeviceUnit)"));
        if (!counts.rows.empty()) {
            expectPlaces = size_t(std::max<qint64>(0, numberOf(counts.rows[0][0])));
            expectDevices = size_t(std::max<qint64>(0, numberOf(counts.rows[0][1])));
        }
    }

    // The four tables asked for at once: on PostgreSQL one round trip, and the server reads the
    // next table while the rows of the one before are placed here.
    RowScanBatch batch(
        cn, {str(DepartmentsSql), str("SELECT IdKind, KindName, ShortName FROM Kind"),
             str("SELECT IdWorkplace, WrkpIdDepartment, WrkpName, WrkpOrder, Phone FROM Workplace"),
             str("SELECT IdDevice, DevcIdWorkplace, DevcName, DevcIdKind, Domain FROM DeviceUnit")});
    std::vector<TreeDepartment> deps;
    std::vector<int> depKeys;
    {
        RowScan rows(batch);
        readDepartments(rows, deps, depKeys);
    }
    const KeyIndex depIndex(depKeys);

    std::vector<int> kindKeys;
    QStringList kindTexts; // "ПК" for the kind of a device
    for (RowScan rows(batch); rows.next();) {
        QStringView text = rows.text(2).trimmed();
        if (text.isEmpty())
            text = rows.text(1).trimmed();
        kindKeys.push_back(int(rows.integer(0)));
        kindTexts << text.toString();
    }
    const KeyIndex kindIndex(kindKeys); // kind key -> index into kindTexts

    TextPool pool;
    pool.reserve(expectPlaces * 24 + expectDevices * 20);
    std::vector<TreeWorkplace> places;
    std::vector<int> placeKeys;
    {
        RowScan rows(batch);
        const size_t n = rows.size() >= 0 ? size_t(rows.size()) : expectPlaces;
        places.reserve(n);
        placeKeys.reserve(n);
        while (rows.next()) {
            const int id = int(rows.integer(0)), depId = int(rows.integer(1));
            placeKeys.push_back(id);
            places.push_back({{orderOf(rows, 3), id},
                              depIndex(depId),
                              depId,
                              pool.add(rows.text(2)),
                              pool.add(rows.text(4).trimmed())});
        }
    }
    const KeyIndex placeIndex(placeKeys);

    std::vector<TreeDevice> devices;
    {
        RowScan rows(batch);
        devices.reserve(rows.size() >= 0 ? size_t(rows.size()) : expectDevices);
        while (rows.next()) {
            const QStringView name = rows.text(2);
            const int placeId = int(rows.integer(1));
            devices.push_back({int(rows.integer(0)), placeIndex(placeId), placeId,
                               rows.isNull(3) ? -1 : kindIndex(int(rows.integer(3))), namePrefix(name),
                               pool.add(name), pool.add(rows.text(4).trimmed())});
        }
    }

    const int nd = int(deps.size()), nw = int(places.size()), nv = int(devices.size());

    const Groups subDeps = departmentGroups(deps, depIndex);
    Groups depPlaces(nd, nw, [&](int i) { return places[size_t(i)].department; });
    depPlaces.sortEach(
        [&](int a, int b) { return workplaceBefore(places[size_t(a)].key, places[size_t(b)].key); });
    Groups placeDevices(nw, nv, [&](int i) { return devices[size_t(i)].workplace; });
    placeDevices.sortEach([&](int a, int b) {
        const TreeDevice &x = devices[size_t(a)], &y = devices[size_t(b)];
        if (const int c = compareNames({x.namePrefix, pool.view(x.name)}, {y.namePrefix, pool.view(y.name)}))
            return c < 0;
        return x.id < y.id;
    });

    // The order of the rows, worked out on the keys alone: depth first without recursion, since
    // nesting may be as deep as the data makes it.
    enum class Node : char { Department, Workplace, Device };
    struct Placed {
        Node node;
        bool hasHigher; // departments: shown under another department
        int index;
        int higher; // departments: the key of that department
    };
    std::vector<Placed> order;
    order.reserve(size_t(nd + nw + nv));
    auto placeWorkplace = [&](int i) {
        order.push_back({Node::Workplace, false, i, 0});
        for (int k = placeDevices.begin(i); k < placeDevices.end(i); ++k)
            order.push_back({Node::Device, false, placeDevices.at[size_t(k)], 0});
    };
    walkDepartments(
        deps, subDeps,
        [&](int dep, bool hasHigher, int higher) {
            order.push_back({Node::Department, hasHigher, dep, higher});
        },
        [&](int dep) {
            for (int k = depPlaces.begin(dep); k < depPlaces.end(dep); ++k)
                placeWorkplace(depPlaces.at[size_t(k)]);
        });
    for (int i : depPlaces.loose)
        placeWorkplace(i);
    for (int i : placeDevices.loose)
        order.push_back({Node::Device, false, i, 0});

    // The rows themselves, made in that order so that they also lie in memory in it. Workplaces
    // and devices are visited out of the order they were read in: their data is asked for from
    // memory a few rows ahead of its use.
    ResultSet rs;
    rs.columns = treeColumns();
    rs.rows.reserve(order.size());
    constexpr size_t Ahead = 8; // rows
    for (size_t k = 0; k < order.size(); ++k) {
        // The record two steps ahead, and the texts of the one a step ahead (its record is there by then).
        if (k + 2 * Ahead < order.size()) {
            const Placed &p = order[k + 2 * Ahead];
            if (p.node == Node::Device)
                prefetch(&devices[size_t(p.index)]);
            else if (p.node == Node::Workplace)
                prefetch(&places[size_t(p.index)]);
        }
        if (k + Ahead < order.size()) {
            const Placed &p = order[k + Ahead];
            if (p.node == Node::Device)
                prefetch(pool.at(devices[size_t(p.index)].name));
            else if (p.node == Node::Workplace)
                prefetch(pool.at(places[size_t(p.index)].name));
        }
        const Placed &p = order[k];
        switch (p.node) {
        case Node::Department: {
            const TreeDepartment &d = deps[size_t(p.index)];
            rs.rows.push_back(treeRow(d.key.name, d.key.id, p.hasHigher ? QVariant(p.higher) : top, kindD,
                                      ImageDepartment));
            break;
        }
        case Node::Workplace: {
            const TreeWorkplace &w = places[size_t(p.index)];
            QString caption = workplaceCaption(pool.view(w.name), pool.view(w.phone));
            rs.rows.push_back(treeRow(std::move(caption), w.key.id,
                                      w.department < 0 ? top : QVariant(w.departmentId), kindW,
                                      ImageWorkplace));
            break;
        }
        case Node::Device: {
            const TreeDevice &d = devices[size_t(p.index)];
            const QStringView prefix = d.kind < 0 ? QStringView() : QStringView(kindTexts[d.kind]);
            const QStringView domain = pool.view(d.domain);
            QString caption = deviceCaption(prefix, pool.view(d.name), domain);
            rs.rows.push_back(treeRow(std::move(caption), d.id,
                                      d.workplace < 0 ? top : QVariant(d.workplaceId), kindV,
                                      domain.isEmpty() ? ImageDevice : ImageNetworkDevice));
            break;
        }
        }
    }
    return rs;
}

// ---- The tree a branch at a time -----------------------------------------------------------------

QVector<ColumnInfo> branchColumns() {
    QVector<ColumnInfo> c = treeColumns();
    c << Proc::col("Children", FieldType::Integer);
    return c;
}

TreeRow branchRow(QString caption, int id, const QVariant &higher, const QVariant &kind, int image,
                  bool children) {
    TreeRow r = treeRow(std::move(caption), id, higher, kind, image);
    r.emplace_back(children ? 1 : 0);
    return r;
}

// Workplaces chosen by `where` (on Workplace w), in the order of a department's workplaces.
void appendWorkplaces(const Connection &cn, const QString &where, const QVariant &higher, ResultSet &rs) {
    struct Place {
        WorkplaceKey key;
        QString caption;
        bool devices;
    };
    std::vector<Place> places;
    for (RowScan rows(cn, str("SELECT w.IdWorkplace, w.WrkpName, w.WrkpOrder, w.Phone, CASE WHEN EXISTS "
                              "(SELECT 1 FROM DeviceUnit v WHERE v.DevcIdWorkplace = w.IdWorkplace) "
                              "THEN 1 ELSE 0 END FROM Workplace w WHERE ") +
                              where);
         rows.next();)
        places.push_back({{orderOf(rows, 2), int(rows.integer(0))},
                          workplaceCaption(rows.text(1), rows.text(3).trimmed()),
                          rows.integer(4) != 0});
    std::sort(places.begin(), places.end(),
              [](const Place &a, const Place &b) { return workplaceBefore(a.key, b.key); });
    const QVariant kindW(str("W"));
    for (Place &p : places)
        rs.rows.push_back(
            branchRow(std::move(p.caption), p.key.id, higher, kindW, ImageWorkplace, p.devices));
}

// Devices chosen by `where` (on DeviceUnit v), in the order of a workplace's devices.
void appendDevices(const Connection &cn, const QString &where, const QVariant &higher, ResultSet &rs) {
    struct Device {
        int id;
        quint64 prefix;
        QString name, caption;
        bool network;
    };
    std::vector<Device> devices;
    for (RowScan rows(cn, str("SELECT v.IdDevice, v.DevcName, v.Domain, k.ShortName, k.KindName "
                              "FROM DeviceUnit v LEFT JOIN Kind k ON k.IdKind = v.DevcIdKind WHERE ") +
                              where);
         rows.next();) {
        QStringView kind = rows.text(3).trimmed();
        if (kind.isEmpty())
            kind = rows.text(4).trimmed();
        const QStringView name = rows.text(1), domain = rows.text(2).trimmed();
        devices.push_back({int(rows.integer(0)), namePrefix(name), name.toString(),
                           deviceCaption(kind, name, domain), !domain.isEmpty()});
    }
    std::sort(devices.begin(), devices.end(), [](const Device &a, const Device &b) {
        if (const int c = compareNames({a.prefix, a.name}, {b.prefix, b.name}))
            return c < 0;
        return a.id < b.id;
    });
    const QVariant kindV(str("V"));
    for (Device &d : devices)
        rs.rows.push_back(branchRow(std::move(d.caption), d.id, higher, kindV,
                                    d.network ? ImageNetworkDevice : ImageDevice, false));
}

// The kinds of owner that rows may be missing: 'D' when workplaces may point at a department that
// is not there, 'W' when devices may point at a missing workplace. Only a client with the
// references switched off writes such rows. On SQLite (the sqlite3 shell) the database's triggers
// list every key such rows point at in MissingOwner; on PostgreSQL only a dropped reference
// constraint of this schema lets them in.
QString looseKindsSql(const Connection &cn) {
    if (!isPg(cn))
        return str("SELECT DISTINCT Kind FROM MissingOwner");
    const auto unkept = [](const char *kind, const char *constraint) {
        return QStringLiteral("SELECT '%1' WHERE NOT EXISTS (SELECT 1 FROM pg_constraint WHERE contype = 'f' "
                              "AND convalidated AND connamespace = current_schema()::regnamespace AND "
                              "conname = '%2')")
            .arg(QLatin1String(kind), QLatin1String(constraint));
    };
    return unkept("D", "workplace_wrkpiddepartment_fkey") + str(" UNION ALL ") +
           unkept("W", "deviceunit_devcidworkplace_fkey");
}

// The workplaces whose department is missing and the devices whose workplace is missing, which
// LoadTree shows last at the top level, for the kinds of owner that `looseKinds` (the rows of
// looseKindsSql) names. On SQLite only the rows under the keys MissingOwner lists are looked at,
// through the references' indexes; on PostgreSQL every workplace or device is read.
void appendLooseRows(const Connection &cn, RowScan &looseKinds, ResultSet &rs) {
    bool places = false, devices = false;
    while (looseKinds.next()) {
        places = places || looseKinds.text(0) == u"D";
        devices = devices || looseKinds.text(0) == u"W";
    }
    const QVariant top;
    const bool pg = isPg(cn);
    if (places)
        appendWorkplaces(
            cn,
            pg ? str("NOT EXISTS (SELECT 1 FROM Department d WHERE d.IdDepartment = "
                     "w.WrkpIdDepartment)")
               : str("w.WrkpIdDepartment IN (SELECT OwnerKey FROM MissingOwner WHERE Kind = 'D') "
                     "AND NOT EXISTS (SELECT 1 FROM Department d WHERE d.IdDepartment = "
                     "w.WrkpIdDepartment)"),
            top, rs);
    if (devices)
        appendDevices(
            cn,
            pg ? str("v.DevcIdWorkplace IN (SELECT DevcIdWorkplace FROM DeviceUnit EXCEPT "
                     "SELECT IdWorkplace FROM Workplace)")
               : str("v.DevcIdWorkplace IN (SELECT OwnerKey FROM MissingOwner WHERE Kind = 'W') AND "
                     "NOT EXISTS (SELECT 1 FROM Workplace w WHERE w.IdWorkplace = v.DevcIdWorkplace)"),
            top, rs);
}

// One level of the placement tree, captioned and ordered as LoadTree does, with Children 1 for a
// node that has rows below it which this result does not hold:
// - @KD empty: every department, parents before their children, placed as LoadTree places them
//   (Children: it has workplaces); then the workplaces whose department is missing and the devices
//   whose workplace is missing, which LoadTree shows last at the top level;
// - @KD "D": the workplaces of department @ID (Children: it has devices);
// - @KD "W": the devices of workplace @ID.
// The first level reads the departments with the list of those that hold workplaces, and looks
// for rows whose owner is missing only under the keys that may have lost it (appendLooseRows).
ResultSet loadTreeBranch(ProcedureCall &call) {
    const Connection &cn = call.cn;
    const QString kind = call.argText(str("@KD")).toUpper();
    ResultSet rs;
    rs.columns = branchColumns();
    if (kind == u"D" || kind == u"W") {
        if (call.isNull(str("@ID")))
            return rs;
        const int id = call.argInt(str("@ID"));
        if (kind == u"D")
            appendWorkplaces(cn, str("w.WrkpIdDepartment = %1").arg(id), id, rs);
        else
            appendDevices(cn, str("v.DevcIdWorkplace = %1").arg(id), id, rs);
        return rs;
    }
    if (!kind.isEmpty())
        return rs;

    // One round trip on PostgreSQL: the departments, the keys of those that hold workplaces, and
    // whether rows may have lost their owner.
    RowScanBatch batch(
        cn, {str(DepartmentsSql), str("SELECT IdDepartment FROM WorkplaceOwner"), looseKindsSql(cn)});
    std::vector<TreeDepartment> deps;
    std::vector<int> depKeys;
    {
        RowScan rows(batch);
        readDepartments(rows, deps, depKeys);
    }
    const KeyIndex depIndex(depKeys);
    std::vector<char> withPlaces(deps.size(), 0);
    for (RowScan rows(batch); rows.next();)
        if (const int d = depIndex(int(rows.integer(0))); d >= 0)
            withPlaces[size_t(d)] = 1;
    const Groups subDeps = departmentGroups(deps, depIndex);
    const QVariant kindD(str("D")), top;
    rs.rows.reserve(deps.size());
    walkDepartments(
        deps, subDeps,
        [&](int dep, bool hasHigher, int higher) {
            const TreeDepartment &d = deps[size_t(dep)];
            rs.rows.push_back(branchRow(d.key.name, d.key.id, hasHigher ? QVariant(higher) : top, kindD,
                                        ImageDepartment, withPlaces[size_t(dep)] != 0));
        },
        [](int) {});
    RowScan looseKinds(batch);
    appendLooseRows(cn, looseKinds, rs);
    return rs;
}

// The branches that hold a node, from the top: for a device its workplace's department (when there
// is one) and its workplace, for a workplace its department; nothing for a department, whose
// branches all come with the first level, nor for a node that is not there. Kind, ID.
ResultSet treePath(ProcedureCall &call) {
    const QString kind = call.argText(str("@KD")).toUpper();
    ResultSet rs{call.def.columns, {}};
    if (call.isNull(str("@ID")) || (kind != u"V" && kind != u"W"))
        return rs;
    const int id = call.argInt(str("@ID"));
    int place = 0;
    if (kind == u"V") {
        const ResultSet r = call.cn.query(
            str("SELECT v.DevcIdWorkplace FROM DeviceUnit v WHERE v.IdDevice = :ID"), {{str("ID"), id}});
        if (r.rows.empty())
            return rs;
        place = int(numberOf(r.rows[0][0]));
    } else {
        place = id;
    }
    const ResultSet r = call.cn.query(
        str("SELECT d.IdDepartment FROM Workplace w JOIN Department d ON d.IdDepartment = w.WrkpIdDepartment "
            "WHERE w.IdWorkplace = :ID"),
        {{str("ID"), place}});
    if (!r.rows.empty())
        rs.rows.push_back({str("D"), int(numberOf(r.rows[0][0]))});
    if (kind == u"V")
        rs.rows.push_back({str("W"), place});
    return rs;
}

// ---- The complete set -------------------------------------------------------------------------

// The elements of device @DV whose kind is of type @KD, by kind order, then model name, then key.
// The kind is the model's; an element without a model falls back on the kind stored with it.
// Number is the IT staff's number, else the manufacturer's.
ResultSet gridCompleteSet(ProcedureCall &call) {
    return call.cn.query(
        QStringLiteral(
            "SELECT s.IdComponent AS ID, substr(k.KindName, 1, 20) AS Kind, substr(m.ModlName, 1, 102) AS "
            "Model, "
            "coalesce(nullif(s.CmplNumber, ''), s.NumberManufact) AS Number, k.KindType AS Type, "
            "s.DocumentId AS Document, s.DocumentPosition AS DocumentPosition, k.IdKind AS IDKind, "
            "s.CmplIdModel AS IDModel "
            "FROM CompleteSet s LEFT JOIN Model m ON m.IdModel = s.CmplIdModel "
            "JOIN Kind k ON k.IdKind = coalesce(m.ModlKind, s.ModelKind) "
            "WHERE s.CmplIdDevice = :DV AND k.KindType = :KD "
            "ORDER BY k.KindOrder IS NULL, k.KindOrder, m.ModlName IS NULL, m.ModlName, s.IdComponent"),
        {{QStringLiteral("DV"),
          call.isNull(QStringLiteral("@DV")) ? QVariant() : QVariant(call.argInt(QStringLiteral("@DV")))},
         {QStringLiteral("KD"), call.argText(QStringLiteral("@KD")).toUpper()}});
}

} // namespace

void registerTreeProcedures() {
    using Proc::col;
    using Proc::in;
    using Proc::req;
    constexpr FieldType I = FieldType::Integer, S = FieldType::String;

    Proc::add(QStringLiteral("LoadTree"), {}, treeColumns(), loadTree);
    Proc::add(QStringLiteral("LoadTreeBranch"), {in("@KD", S, 1), in("@ID", I)}, branchColumns(),
              loadTreeBranch);
    Proc::add(QStringLiteral("TreePath"), {in("@KD", S, 1), in("@ID", I)},
              {col("Kind", FieldType::FixedChar, 1), col("ID", I)}, treePath);
    Proc::add(QStringLiteral("GridCompleteSet"), {in("@DV", I), in("@KD", S, 1)},
              {col("ID", I), col("Kind", S, 20), col("Model", S, 102), col("Number", S, 50),
               col("Type", FieldType::FixedChar, 1), col("Document", I),
               col("DocumentPosition", FieldType::SmallInt), col("IDKind", FieldType::SmallInt),
               col("IDModel", I)},
              gridCompleteSet);
}
