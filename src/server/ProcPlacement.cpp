// The placement view's procedures: the tree of departments, workplaces and devices, the complete
// set of a device, deleting, moving and cloning nodes, and the bookmarks of each user.
#include "ServerProcs.h"

#include "Errors.h"
#include "OsUser.h"
#include "ProcText.h"
#include "RowScan.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <algorithm>
#include <limits>
#include <vector>

// ---- The operating-system user ----------------------------------------------------------------

namespace {

QMutex &osUserLock() {
    static QMutex m;
    return m;
}

QString &osUserOverride() {
    static QString name;
    return name;
}

} // namespace

QString OsUserName() {
    {
        QMutexLocker lock(&osUserLock());
        if (!osUserOverride().isEmpty())
            return osUserOverride();
    }
    for (const char *var : {"USER", "LOGNAME"}) {
        const QString name = qEnvironmentVariable(var).trimmed();
        if (!name.isEmpty())
            return name.left(100); // the width of Favorite.OsUser
    }
    return QStringLiteral("user");
}

void SetOsUserNameForTesting(const QString &name) {
    QMutexLocker lock(&osUserLock());
    osUserOverride() = name.trimmed().left(100);
}

namespace {

QString str(const char *utf8) {
    return QString::fromUtf8(utf8);
}

bool isPg(const Connection &cn) {
    return cn.engine() == Engine::PostgreSQL;
}

// Values as the drivers return them (integers as 64-bit on SQLite and 32-bit on PostgreSQL), read
// without the general conversion.
qint64 numberOf(const QVariant &v) {
    switch (v.typeId()) {
    case QMetaType::LongLong:
        return *static_cast<const qlonglong *>(v.constData());
    case QMetaType::Int:
        return *static_cast<const int *>(v.constData());
    default:
        return v.toLongLong();
    }
}

// An order column read for sorting: a row without an order goes after the numbered ones.
constexpr qint64 Unordered = std::numeric_limits<qint64>::max();
qint64 orderOf(const QVariant &v) {
    return v.isNull() ? Unordered : numberOf(v);
}
qint64 orderOf(const RowScan &rows, int column) {
    return rows.isNull(column) ? Unordered : rows.integer(column);
}

// Asks for memory that is about to be read.
inline void prefetch(const void *p) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(p);
#else
    Q_UNUSED(p);
#endif
}

// ---- Names in order, ignoring case ----------------------------------------------------------------

// Names compare unit by unit after case folding, shorter first when one begins the other. The
// first four folded units packed into a number give the same order for most pairs without
// touching the texts again, which keeps sorting a large tree cheap.
char16_t folded(QChar c) {
    return FoldUnit(c.unicode());
}

quint64 namePrefix(QStringView s) {
    quint64 key = 0;
    for (qsizetype i = 0; i < 4; ++i)
        key = key << 16 | (i < s.size() ? folded(s[i]) : 0u);
    return key;
}

int compareNames(QStringView a, QStringView b, qsizetype from = 0) {
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = from; i < n; ++i) {
        if (a[i] == b[i])
            continue;
        if (const int d = int(folded(a[i])) - int(folded(b[i])))
            return d;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// A name with its packed prefix.
struct SortName {
    quint64 prefix;
    QStringView text;
};
int compareNames(const SortName &a, const SortName &b) {
    if (a.prefix != b.prefix)
        return a.prefix < b.prefix ? -1 : 1;
    return compareNames(a.text, b.text, 4);
}

// ---- Sibling order, shared by the tree and by moving a node ------------------------------------

// Departments of one parent: by DprtOrder, then by name (ignoring case), then by key.
struct DepartmentKey {
    qint64 order;
    QString name;
    int id;
};
bool departmentBefore(const DepartmentKey &a, const DepartmentKey &b) {
    if (a.order != b.order)
        return a.order < b.order;
    if (const int c = compareNames(a.name, b.name))
        return c < 0;
    return a.id < b.id;
}

// Workplaces of one department: by WrkpOrder, then by key.
struct WorkplaceKey {
    qint64 order;
    int id;
};
bool workplaceBefore(const WorkplaceKey &a, const WorkplaceKey &b) {
    return a.order != b.order ? a.order < b.order : a.id < b.id;
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

    std::vector<TreeDepartment> deps;
    std::vector<int> depKeys;
    for (RowScan rows(cn, str("SELECT IdDepartment, DprtIdHigher, DprtName, DprtOrder FROM Department"));
         rows.next();) {
        const int id = int(rows.integer(0));
        depKeys.push_back(id);
        deps.push_back({{orderOf(rows, 3), ProcText::cut(rows.text(2).toString(), CaptionWidth), id},
                        int(rows.integer(1)),
                        !rows.isNull(1)});
    }
    const KeyIndex depIndex(depKeys);

    std::vector<int> kindKeys;
    QStringList kindTexts; // "ПК" for the kind of a device
    for (RowScan rows(cn, str("SELECT IdKind, KindName, ShortName FROM Kind")); rows.next();) {
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
        RowScan rows(cn,
                     str("SELECT IdWorkplace, WrkpIdDepartment, WrkpName, WrkpOrder, Phone FROM Workplace"));
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
        RowScan rows(cn,
                     str("SELECT IdDevice, DevcIdWorkplace, DevcName, DevcIdKind, Domain FROM DeviceUnit"));
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
    struct Frame {
        int dep, next;
    };
    std::vector<Frame> stack;
    for (int root : subDeps.loose) {
        order.push_back({Node::Department, false, root, 0});
        stack.push_back({root, subDeps.begin(root)});
        while (!stack.empty()) {
            Frame &f = stack.back();
            if (f.next < subDeps.end(f.dep)) {
                const int child = subDeps.at[size_t(f.next++)];
                order.push_back({Node::Department, true, child, deps[size_t(f.dep)].key.id});
                stack.push_back({child, subDeps.begin(child)});
            } else {
                const int dep = f.dep;
                stack.pop_back();
                for (int k = depPlaces.begin(dep); k < depPlaces.end(dep); ++k)
                    placeWorkplace(depPlaces.at[size_t(k)]);
            }
        }
    }
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
            const QStringView name = pool.view(w.name), phone = pool.view(w.phone);
            QString caption = phone.isEmpty() ? concat({name}, CaptionWidth)
                                              : concat({name, u" (тел. ", phone, u")"}, CaptionWidth);
            rs.rows.push_back(treeRow(std::move(caption), w.key.id,
                                      w.department < 0 ? top : QVariant(w.departmentId), kindW,
                                      ImageWorkplace));
            break;
        }
        case Node::Device: {
            const TreeDevice &d = devices[size_t(p.index)];
            const QStringView prefix = d.kind < 0 ? QStringView() : QStringView(kindTexts[d.kind]);
            const QStringView name = pool.view(d.name), domain = pool.view(d.domain);
            const QStringView space =
                !prefix.isEmpty() && !name.isEmpty() ? QStringView(u" ") : QStringView();
            QString caption = domain.isEmpty()
                                  ? concat({prefix, space, name}, CaptionWidth)
                                  : concat({prefix, space, name, u" [", domain, u"]"}, CaptionWidth);
            rs.rows.push_back(treeRow(std::move(caption), d.id,
                                      d.workplace < 0 ? top : QVariant(d.workplaceId), kindV,
                                      domain.isEmpty() ? ImageDevice : ImageNetworkDevice));
            break;
        }
        }
    }
    return rs;
}

// ---- Deleting nodes ---------------------------------------------------------------------------

struct Deletion {
    const char *table, *key, *nameColumn;
    const char *empty;   // condition on :ID that holds when the row has nothing under it
    const char *refusal; // message with %1 for the name
    QChar bookmark;      // kind letter of the row's bookmarks, or null
};

// Deletes a row that holds nothing; a row that still holds something is refused with a message
// naming it; a key that is no longer there is not an error (there is nothing left to delete).
// The test and the delete are one statement, so a child added by another connection after the
// caller looked is still seen. On PostgreSQL the row is locked first: a child inserted meanwhile
// waits for this transaction and then fails on its reference, and one committed before is visible
// to the delete's own test.
void deleteNode(ProcedureCall &call, const char *param, const Deletion &d, const QString &before = {}) {
    if (call.isNull(QString::fromLatin1(param)))
        return;
    const int id = call.argInt(QString::fromLatin1(param));
    const QVariantMap p{{QStringLiteral("ID"), id}};
    const QString table = QString::fromLatin1(d.table), key = QString::fromLatin1(d.key);
    if (isPg(call.cn))
        call.cn.query(QStringLiteral("SELECT %2 FROM %1 WHERE %2 = :ID FOR UPDATE").arg(table, key), p);
    if (!before.isEmpty())
        call.cn.execute(before, p);
    const int gone = call.cn.execute(
        QStringLiteral("DELETE FROM %1 WHERE %2 = :ID AND %3").arg(table, key, QString::fromLatin1(d.empty)),
        p);
    if (gone == 0) {
        const ResultSet r = call.cn.query(QStringLiteral("SELECT %3 FROM %1 WHERE %2 = :ID")
                                              .arg(table, key, QString::fromLatin1(d.nameColumn)),
                                          p);
        if (r.rows.empty())
            return;
        QString name = r.rows.front().value(0).toString().trimmed();
        if (name.isEmpty())
            name = QString::number(id);
        throw AppError(str(d.refusal).arg(name));
    }
    // Bookmarks of a deleted node lead nowhere; they go with it, for every user.
    if (!d.bookmark.isNull())
        call.cn.execute(QStringLiteral("DELETE FROM Favorite WHERE KeyObject = :K"),
                        {{QStringLiteral("K"), QString(d.bookmark) + QString::number(id)}});
}

const Deletion DepartmentDeletion{
    "Department", "IdDepartment", "DprtName",
    // A department that names itself as its parent does not hold itself.
    "NOT EXISTS (SELECT 1 FROM Department c WHERE c.DprtIdHigher = :ID AND c.IdDepartment <> :ID) "
    "AND NOT EXISTS (SELECT 1 FROM Workplace w WHERE w.WrkpIdDepartment = :ID)",
    "Подразделение «%1» содержит подразделения или рабочие места, удаление невозможно", u'D'};
const Deletion WorkplaceDeletion{"Workplace",
                                 "IdWorkplace",
                                 "WrkpName",
                                 "NOT EXISTS (SELECT 1 FROM DeviceUnit v WHERE v.DevcIdWorkplace = :ID)",
                                 "Рабочее место «%1» содержит устройства, удаление невозможно",
                                 u'W'};
const Deletion DeviceDeletion{"DeviceUnit",
                              "IdDevice",
                              "DevcName",
                              "NOT EXISTS (SELECT 1 FROM CompleteSet s WHERE s.CmplIdDevice = :ID)",
                              "Устройство «%1» содержит комплектующие, удаление невозможно",
                              u'V'};

// ---- Moving a node among its siblings ---------------------------------------------------------

// Moves a department (@KD "D") or workplace ("W") one place up (@DR < 0) or down (@DR > 0) among
// the nodes of the same parent, in the order the tree shows them. The siblings are first numbered
// 1..n in that order, so rows without an order or with equal orders move predictably too; then
// the node swaps places with its neighbour. At the first or last place nothing changes.
ResultSet moveTree(ProcedureCall &call) {
    const QString kind = call.argText(QStringLiteral("@KD")).toUpper();
    const int dr = call.argInt(QStringLiteral("@DR"), 0);
    if (call.isNull(QStringLiteral("@ID")) || dr == 0)
        return Proc::none();
    const int id = call.argInt(QStringLiteral("@ID"));
    const QVariantMap p{{QStringLiteral("ID"), id}};
    // The siblings' order values change, never their keys: a lock that lets other rows keep
    // referencing them (a device added meanwhile) and waits only for other renumbering.
    const QString lock = isPg(call.cn) ? QStringLiteral(" FOR NO KEY UPDATE") : QString();

    QString table, key, order;
    std::vector<int> ids;       // siblings in the order shown
    std::vector<qint64> orders; // their present order values
    if (kind == u"D") {
        const ResultSet self =
            call.cn.query(QStringLiteral("SELECT DprtIdHigher FROM Department WHERE IdDepartment = :ID"), p);
        if (self.rows.empty())
            return Proc::none();
        const QVariant parentId = self.rows.front().value(0);
        const ResultSet rs =
            call.cn.query(QStringLiteral("SELECT IdDepartment, DprtName, DprtOrder FROM Department WHERE ") +
                              (parentId.isNull() ? QStringLiteral("DprtIdHigher IS NULL")
                                                 : QStringLiteral("DprtIdHigher = :P")) +
                              lock,
                          {{QStringLiteral("P"), parentId}});
        std::vector<DepartmentKey> sibs;
        for (const auto &r : rs.rows)
            sibs.push_back({orderOf(r.value(2)), r.value(1).toString(), r.value(0).toInt()});
        std::sort(sibs.begin(), sibs.end(), departmentBefore);
        for (const DepartmentKey &s : sibs) {
            ids.push_back(s.id);
            orders.push_back(s.order);
        }
        table = QStringLiteral("Department");
        key = QStringLiteral("IdDepartment");
        order = QStringLiteral("DprtOrder");
    } else if (kind == u"W") {
        const ResultSet self = call.cn.query(
            QStringLiteral("SELECT WrkpIdDepartment FROM Workplace WHERE IdWorkplace = :ID"), p);
        if (self.rows.empty())
            return Proc::none();
        const ResultSet rs = call.cn.query(
            QStringLiteral("SELECT IdWorkplace, WrkpOrder FROM Workplace WHERE WrkpIdDepartment = :P") + lock,
            {{QStringLiteral("P"), self.rows.front().value(0)}});
        std::vector<WorkplaceKey> sibs;
        for (const auto &r : rs.rows)
            sibs.push_back({orderOf(r.value(1)), r.value(0).toInt()});
        std::sort(sibs.begin(), sibs.end(), workplaceBefore);
        for (const WorkplaceKey &s : sibs) {
            ids.push_back(s.id);
            orders.push_back(s.order);
        }
        table = QStringLiteral("Workplace");
        key = QStringLiteral("IdWorkplace");
        order = QStringLiteral("WrkpOrder");
    } else {
        return Proc::none(); // devices keep no order of their own
    }

    const auto at = std::find(ids.begin(), ids.end(), id);
    if (at == ids.end())
        return Proc::none();
    const qsizetype pos = at - ids.begin(), to = pos + (dr < 0 ? -1 : 1);
    if (to < 0 || to >= qsizetype(ids.size()))
        return Proc::none();
    std::swap(ids[size_t(pos)], ids[size_t(to)]);
    std::swap(orders[size_t(pos)], orders[size_t(to)]);
    const QString update = QStringLiteral("UPDATE %1 SET %2 = :O WHERE %3 = :ID").arg(table, order, key);
    for (size_t i = 0; i < ids.size(); ++i)
        if (orders[i] != qint64(i) + 1)
            call.cn.execute(update, {{QStringLiteral("O"), int(i) + 1}, {QStringLiteral("ID"), ids[i]}});
    return Proc::none();
}

// ---- Cloning ----------------------------------------------------------------------------------

// What a copy of an element takes over: the model, the document and position, the price, the
// warranty and the dates. The numbers that identify the one item (the IT staff's number, the
// manufacturer's and the seller's) are not copied.
const char *ElementCopied = "CmplDateSet, CmplIdModel, DateManufact, DateSeller, Warranty, DocumentId, "
                            "DocumentPosition, Price, ModelKind";

// A new device at the same workplace with the source's kind, name and settings (report flag,
// description, state of use, maintenance), and a copy of its complete set by the rule above. What
// identifies the one device is not copied: the network name, the inventory number, the write-off
// reference, nor the last ping result. The copy gets a new key, the highest of the devices.
ResultSet cloneDevice(ProcedureCall &call) {
    const QVariant source =
        call.isNull(QStringLiteral("@ID")) ? QVariant() : QVariant(call.argInt(QStringLiteral("@ID")));
    const QVariant copy =
        source.isNull()
            ? QVariant()
            : call.cn.scalar(
                  QStringLiteral("INSERT INTO DeviceUnit (DevcIdWorkplace, DevcName, DevcPrinting, "
                                 "DevcDescription, Used, DevcIdKind, Prevention, PreventionExpress, "
                                 "PreventionNeed) "
                                 "SELECT DevcIdWorkplace, DevcName, DevcPrinting, DevcDescription, Used, "
                                 "DevcIdKind, Prevention, PreventionExpress, PreventionNeed "
                                 "FROM DeviceUnit WHERE IdDevice = :ID RETURNING IdDevice"),
                  {{QStringLiteral("ID"), source}});
    if (copy.isNull())
        throw AppError(
            str("Устройство для клонирования не найдено: возможно, его удалил другой пользователь"));
    const QString cols = QString::fromLatin1(ElementCopied);
    call.cn.execute(
        QStringLiteral("INSERT INTO CompleteSet (CmplIdDevice, %1) SELECT CAST(:NEW AS integer), %1 "
                       "FROM CompleteSet WHERE CmplIdDevice = :ID ORDER BY IdComponent")
            .arg(cols),
        {{QStringLiteral("NEW"), copy.toInt()}, {QStringLiteral("ID"), source}});
    return Proc::none();
}

// A copy of one element in the same device, by the rule of ElementCopied.
ResultSet cloneComponent(ProcedureCall &call) {
    const QString cols = QString::fromLatin1(ElementCopied);
    const QVariant copy =
        call.isNull(QStringLiteral("@ID"))
            ? QVariant()
            : call.cn.scalar(
                  QStringLiteral("INSERT INTO CompleteSet (CmplIdDevice, %1) SELECT CmplIdDevice, %1 "
                                 "FROM CompleteSet WHERE IdComponent = :ID RETURNING IdComponent")
                      .arg(cols),
                  {{QStringLiteral("ID"), call.argInt(QStringLiteral("@ID"))}});
    if (copy.isNull())
        throw AppError(
            str("Комплектующее для клонирования не найдено: возможно, его удалил другой пользователь"));
    return Proc::none();
}

// ---- Bookmarks --------------------------------------------------------------------------------

constexpr int KeyObjectWidth = 10, BookmarkNameWidth = 50, StoredNameWidth = 100;

// The bookmarks of the operating-system user, newest first (highest Stamp).
ResultSet gridFavorite(ProcedureCall &call) {
    return call.cn.query(
        QStringLiteral("SELECT ID, substr(KeyObject, 1, %1) AS KeyObject, substr(Name, 1, %2) AS Name "
                       "FROM Favorite WHERE OsUser = :U ORDER BY Stamp DESC, ID DESC")
            .arg(KeyObjectWidth)
            .arg(BookmarkNameWidth),
        {{QStringLiteral("U"), OsUserName()}});
}

// @R 1 adds the node @KY with the text @NM; a node already bookmarked gets no second row, it takes
// the new text and goes to the top. 2 moves the bookmark @KY to the top (a node not bookmarked:
// nothing). 3 deletes it. @NM counts only for 1. Every operation acts on the bookmarks of the
// operating-system user only.
ResultSet execFavorite(ProcedureCall &call) {
    const int op = call.argInt(QStringLiteral("@R"), 0);
    const QString key = call.argText(QStringLiteral("@KY"));
    if (op < 1 || op > 3)
        throw AppError(str("Неизвестная операция с закладками (%1)").arg(op));
    if (key.isEmpty())
        return Proc::none();
    const QVariantMap p{{QStringLiteral("U"), OsUserName()}, {QStringLiteral("K"), key}};
    const QString newest =
        QStringLiteral("(SELECT coalesce(max(f.Stamp), 0) + 1 FROM Favorite f WHERE f.OsUser = :U)");
    switch (op) {
    case 1: {
        if (key.size() > KeyObjectWidth)
            throw AppError(
                str("Ключ закладки %1 длиннее %2 символов").arg(quoteInput(key)).arg(KeyObjectWidth));
        QVariantMap add = p;
        const QString name = call.argText(QStringLiteral("@NM"));
        if (name.size() > StoredNameWidth)
            throw AppError(str("Имя закладки длиннее %1 символов").arg(StoredNameWidth));
        add.insert(QStringLiteral("N"), name.isEmpty() ? QVariant() : QVariant(name));
        call.cn.execute(
            QStringLiteral("INSERT INTO Favorite (OsUser, KeyObject, Name, Stamp) VALUES (:U, :K, :N, %1) "
                           "ON CONFLICT (OsUser, KeyObject) DO UPDATE SET Name = excluded.Name, "
                           "Stamp = excluded.Stamp")
                .arg(newest),
            add);
        break;
    }
    case 2:
        call.cn.execute(
            QStringLiteral("UPDATE Favorite SET Stamp = %1 WHERE OsUser = :U AND KeyObject = :K").arg(newest),
            p);
        break;
    case 3:
        call.cn.execute(QStringLiteral("DELETE FROM Favorite WHERE OsUser = :U AND KeyObject = :K"), p);
        break;
    }
    return Proc::none();
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

void registerPlacementProcedures() {
    using Proc::col;
    using Proc::in;
    using Proc::req;
    constexpr FieldType I = FieldType::Integer, S = FieldType::String;

    Proc::add(QStringLiteral("LoadTree"), {}, treeColumns(), loadTree);
    Proc::add(QStringLiteral("GridCompleteSet"), {in("@DV", I), in("@KD", S, 1)},
              {col("ID", I), col("Kind", S, 20), col("Model", S, 102), col("Number", S, 50),
               col("Type", FieldType::FixedChar, 1), col("Document", I),
               col("DocumentPosition", FieldType::SmallInt), col("IDKind", FieldType::SmallInt),
               col("IDModel", I)},
              gridCompleteSet);
    Proc::add(QStringLiteral("DeleteDepartment"), {req("@Departm", I)}, {}, [](ProcedureCall &call) {
        deleteNode(call, "@Departm", DepartmentDeletion);
        return Proc::none();
    });
    Proc::add(QStringLiteral("DeleteWorkPlace"), {req("@WorkPlac", I)}, {}, [](ProcedureCall &call) {
        deleteNode(call, "@WorkPlac", WorkplaceDeletion);
        return Proc::none();
    });
    // The device's links to its users go with it (a refused delete keeps them: the call is undone).
    Proc::add(QStringLiteral("DeleteDeviceUnit"), {req("@Device", I)}, {}, [](ProcedureCall &call) {
        deleteNode(call, "@Device", DeviceDeletion,
                   QStringLiteral("DELETE FROM UseComputer WHERE Computer = :ID"));
        return Proc::none();
    });
    // The element's move history goes with it (by its reference).
    Proc::add(QStringLiteral("DeleteCompleteSet"), {req("@CompSet", I)}, {}, [](ProcedureCall &call) {
        if (!call.isNull(QStringLiteral("@CompSet")))
            call.cn.execute(QStringLiteral("DELETE FROM CompleteSet WHERE IdComponent = :ID"),
                            {{QStringLiteral("ID"), call.argInt(QStringLiteral("@CompSet"))}});
        return Proc::none();
    });
    Proc::add(QStringLiteral("MoveTree"), {req("@KD", S, 1), req("@ID", I), req("@DR", I)}, {}, moveTree);
    Proc::add(QStringLiteral("CloneDevice"), {req("@ID", I)}, {}, cloneDevice);
    Proc::add(QStringLiteral("CloneComponents"), {req("@ID", I)}, {}, cloneComponent);
    Proc::add(QStringLiteral("GridFavorite"), {},
              {col("ID", I), col("KeyObject", S, KeyObjectWidth), col("Name", S, BookmarkNameWidth)},
              gridFavorite);
    Proc::add(QStringLiteral("ExecFavorite"), {req("@R", I), req("@KY", S, 50), in("@NM", S, 100)}, {},
              execFavorite);
}
