#include "placement/PlaceTree.h"

#include "data/TessalDialog.h"

PlaceTreeModel::PlaceTreeModel(QObject *parent) : QAbstractItemModel(parent) {}

void PlaceTreeModel::setIcons(const QIcon &department, const QIcon &workplace, const QIcon &device) {
    m_icons[0] = department;
    m_icons[1] = workplace;
    m_icons[2] = device;
}

void PlaceTreeModel::clear() {
    beginResetModel();
    m_fetched.clear();
    m_nodes.clear();
    m_children.clear();
    m_byKey.clear();
    m_topCount = 0;
    m_removed = 0;
    endResetModel();
}

namespace {

// The first character of a text value, read in place; null for an empty or missing text.
QChar firstChar(const QVariant &v) {
    if (v.typeId() == QMetaType::QString) {
        const QString &s = *static_cast<const QString *>(v.constData());
        return s.isEmpty() ? QChar() : s.front();
    }
    const QString s = v.toString();
    return s.isEmpty() ? QChar() : s.front();
}

} // namespace

void PlaceTreeModel::NodeIndex::clear() {
    for (auto &d : m_dense)
        d.clear();
    m_other.clear();
    m_limit = 0;
}

void PlaceTreeModel::NodeIndex::reserve(size_t nodes) {
    m_limit = std::max(m_limit, 4 * nodes + 1024);
}

std::vector<int> *PlaceTreeModel::NodeIndex::dense(char16_t kind, int id) {
    return const_cast<std::vector<int> *>(std::as_const(*this).dense(kind, id));
}

const std::vector<int> *PlaceTreeModel::NodeIndex::dense(char16_t kind, int id) const {
    if (id < 0 || size_t(id) >= m_limit)
        return nullptr;
    switch (kind) {
    case u'D':
        return &m_dense[0];
    case u'W':
        return &m_dense[1];
    case u'V':
        return &m_dense[2];
    default:
        return nullptr;
    }
}

void PlaceTreeModel::NodeIndex::insert(char16_t kind, int id, int node) {
    if (std::vector<int> *d = dense(kind, id)) {
        if (size_t(id) >= d->size())
            d->resize(std::max(size_t(id) + 1, std::min(m_limit, d->size() * 2)), 0);
        (*d)[size_t(id)] = node + 1;
    } else {
        m_other.insert(hashKey(kind, id), node);
    }
}

int PlaceTreeModel::NodeIndex::find(char16_t kind, int id) const {
    if (const std::vector<int> *d = dense(kind, id))
        return size_t(id) < d->size() ? (*d)[size_t(id)] - 1 : -1;
    return m_other.value(hashKey(kind, id), -1);
}

size_t PlaceTreeModel::NodeIndex::bytes() const {
    size_t n = size_t(m_other.capacity()) * (sizeof(qint64) + sizeof(int) + 8);
    for (const auto &d : m_dense)
        n += d.capacity() * sizeof(int);
    return n;
}

void PlaceTreeModel::NodeIndex::remove(char16_t kind, int id, int node) {
    if (std::vector<int> *d = dense(kind, id)) {
        if (size_t(id) < d->size() && (*d)[size_t(id)] == node + 1)
            (*d)[size_t(id)] = 0;
    } else if (m_other.value(hashKey(kind, id), -1) == node) {
        m_other.remove(hashKey(kind, id));
    }
}

void PlaceTreeModel::load(const ResultSet &rs) {
    beginResetModel();
    build(rs);
    endResetModel();
}

void PlaceTreeModel::build(const ResultSet &rs) {
    m_nodes.clear();
    m_children.clear();
    m_byKey.clear();
    m_fetched.clear();
    m_topCount = 0;
    m_removed = 0;

    const int cCaption = rs.indexOf(QStringLiteral("Caption")), cId = rs.indexOf(QStringLiteral("ID")),
              cHigher = rs.indexOf(QStringLiteral("Higher")), cKind = rs.indexOf(QStringLiteral("Kind")),
              cChildren = rs.indexOf(QStringLiteral("Children"));
    m_nodes.reserve(rs.rows.size());
    m_byKey.reserve(rs.rows.size());
    if (cId >= 0 && cKind >= 0) {
        // The node last loaded of each parent kind: the devices of a workplace follow it, so their
        // parent is nearly always found here without a hash look-up. Being the last of its kind,
        // it is also the last of its key.
        int lastWorkplace = -1, lastDepartment = -1;
        for (const auto &row : rs.rows) {
            const QChar kind = firstChar(row[cKind]);
            if (kind.isNull())
                continue; // a row that cannot be a node is skipped
            Node n;
            n.kind = kind.toUpper().unicode();
            n.id = row[cId].toInt();
            n.higher = cHigher >= 0 ? row[cHigher].toInt() : 0;
            if (cCaption >= 0)
                n.caption = row[cCaption].toString();
            n.pending = cChildren >= 0 && row[cChildren].toInt() != 0;
            if (n.higher != 0) {
                const char16_t parentKind = n.kind == u'V' ? u'W' : u'D';
                const int last = parentKind == u'W' ? lastWorkplace : lastDepartment;
                if (last >= 0 && m_nodes[size_t(last)].id == n.higher) {
                    n.parent = last;
                } else {
                    n.parent = m_byKey.find(parentKind, n.higher);
                }
            }
            const int index = int(m_nodes.size());
            if (n.kind == u'W')
                lastWorkplace = index;
            else if (n.kind == u'D')
                lastDepartment = index;
            m_byKey.insert(n.kind, n.id, index);
            m_nodes.push_back(std::move(n));
        }
    }

    // Group the children of every parent, keeping the load order (a counting sort).
    const int count = int(m_nodes.size());
    std::vector<int> start(size_t(count) + 2, 0); // slot 0: top level, slot p + 1: node p
    for (const Node &n : m_nodes)
        ++start[size_t(n.parent + 1) + 1];
    for (size_t i = 1; i < start.size(); ++i)
        start[i] += start[i - 1];
    m_topCount = start[1];
    for (int i = 0; i < count; ++i) {
        m_nodes[size_t(i)].firstChild = start[size_t(i) + 1];
        m_nodes[size_t(i)].childCount = start[size_t(i) + 2] - start[size_t(i) + 1];
    }
    m_children.assign(size_t(count), 0);
    std::vector<int> fill(start.begin(), start.end() - 1);
    for (int i = 0; i < count; ++i) {
        Node &n = m_nodes[size_t(i)];
        int &slot = fill[size_t(n.parent + 1)];
        n.row = slot - start[size_t(n.parent + 1)];
        m_children[size_t(slot++)] = i;
    }
}

void PlaceTreeModel::setSources(BranchSource branch, PathSource path) {
    m_branch = std::move(branch);
    m_path = std::move(path);
}

void PlaceTreeModel::reload() {
    if (!m_branch)
        return;
    // The branches loaded before, read again after the first level; a branch whose node is gone
    // then finds no node and is dropped.
    struct Branch {
        char16_t kind;
        int id;
        ResultSet rows;
    };
    std::vector<Branch> branches;
    for (const int i : m_fetched) {
        const Node &n = m_nodes[size_t(i)];
        if (n.parent != Removed)
            branches.push_back({n.kind, n.id, {}});
    }
    const ResultSet first = m_branch(QString(), 0);
    for (Branch &b : branches)
        b.rows = m_branch(QString(QChar(b.kind)), b.id);

    beginResetModel();
    build(first);
    for (const Branch &b : branches) {
        const int p = m_byKey.find(b.kind, b.id);
        if (p >= 0 && m_nodes[size_t(p)].pending) {
            m_nodes[size_t(p)].pending = false;
            addBranch(p, b.rows, false);
            m_fetched.push_back(p);
        }
    }
    endResetModel();
}

QModelIndex PlaceTreeModel::indexOf(int node) const {
    return node < 0 ? QModelIndex() : createIndex(m_nodes[size_t(node)].row, 0, quintptr(node));
}

void PlaceTreeModel::addBranch(int p, const ResultSet &rs, bool notify) {
    const int cCaption = rs.indexOf(QStringLiteral("Caption")), cId = rs.indexOf(QStringLiteral("ID")),
              cKind = rs.indexOf(QStringLiteral("Kind")), cChildren = rs.indexOf(QStringLiteral("Children"));
    if (cId < 0 || cKind < 0)
        return;
    std::vector<Node> added;
    added.reserve(rs.rows.size());
    const Node &owner = m_nodes[size_t(p)];
    for (const auto &row : rs.rows) {
        const QChar kind = firstChar(row[cKind]);
        if (kind.isNull())
            continue;
        Node n;
        n.kind = kind.toUpper().unicode();
        n.id = row[cId].toInt();
        n.higher = owner.id;
        n.parent = p;
        n.row = owner.childCount + int(added.size());
        if (cCaption >= 0)
            n.caption = row[cCaption].toString();
        n.pending = cChildren >= 0 && row[cChildren].toInt() != 0;
        added.push_back(std::move(n));
    }
    if (added.empty())
        return;
    const int count = int(added.size());
    if (notify)
        beginInsertRows(indexOf(p), owner.childCount, owner.childCount + count - 1);
    // The node's children stay one group: the ones it had move to the end, the new ones follow.
    Node &o = m_nodes[size_t(p)];
    if (o.childCount > 0 && o.firstChild + o.childCount != int(m_children.size())) {
        const std::vector<int> had(m_children.begin() + o.firstChild,
                                   m_children.begin() + o.firstChild + o.childCount);
        o.firstChild = int(m_children.size());
        m_children.insert(m_children.end(), had.begin(), had.end());
    } else if (o.childCount == 0) {
        o.firstChild = int(m_children.size());
    }
    o.childCount += count;
    m_nodes.reserve(m_nodes.size() + added.size());
    for (Node &n : added) {
        const int index = int(m_nodes.size());
        m_byKey.insert(n.kind, n.id, index);
        m_children.push_back(index);
        m_nodes.push_back(std::move(n));
    }
    if (notify)
        endInsertRows();
}

int PlaceTreeModel::fetchNode(int p) {
    if (p < 0 || !m_nodes[size_t(p)].pending || !m_branch)
        return 0;
    const Node &n = m_nodes[size_t(p)];
    const ResultSet rows = m_branch(QString(QChar(n.kind)), n.id);
    m_nodes[size_t(p)].pending = false;
    m_fetched.push_back(p);
    const int before = m_nodes[size_t(p)].childCount;
    addBranch(p, rows, true);
    return m_nodes[size_t(p)].childCount - before;
}

bool PlaceTreeModel::fetchBranch(const QModelIndex &index) {
    return fetchNode(nodeOf(index)) > 0;
}

bool PlaceTreeModel::hasChildren(const QModelIndex &parent) const {
    const int p = nodeOf(parent);
    if (p < 0)
        return m_topCount > 0;
    if (parent.column() > 0)
        return false;
    return m_nodes[size_t(p)].childCount > 0 || m_nodes[size_t(p)].pending;
}

bool PlaceTreeModel::canFetchMore(const QModelIndex &parent) const {
    const int p = nodeOf(parent);
    return p >= 0 && m_nodes[size_t(p)].pending && m_branch;
}

void PlaceTreeModel::fetchMore(const QModelIndex &parent) {
    // Called by the views, which cannot take an exception: a failed read is shown and the node
    // can be expanded again.
    Guarded([&] { fetchNode(nodeOf(parent)); });
}

QModelIndex PlaceTreeModel::findLoaded(char16_t kind, int id) const {
    return indexOf(m_byKey.find(kind, id));
}

QModelIndex PlaceTreeModel::find(const QString &kind, int id) {
    if (kind.isEmpty())
        return {};
    return findKey(hashKey(kind.front().toUpper().unicode(), id));
}

QModelIndex PlaceTreeModel::findKey(qint64 nodeKey) {
    const char16_t kind = char16_t(nodeKey >> 32);
    const int id = int(quint32(nodeKey));
    QModelIndex found = findLoaded(kind, id);
    if (found.isValid() || !m_path || (kind != u'W' && kind != u'V'))
        return found;
    // Not loaded: the branches that hold it are, from the top.
    const ResultSet path = m_path(QString(QChar(kind)), id);
    const int cKind = path.indexOf(QStringLiteral("Kind")), cId = path.indexOf(QStringLiteral("ID"));
    if (cKind < 0 || cId < 0)
        return {};
    for (const auto &row : path.rows) {
        const QChar k = firstChar(row[cKind]);
        if (!k.isNull())
            fetchNode(m_byKey.find(k.toUpper().unicode(), row[cId].toInt()));
    }
    return findLoaded(kind, id);
}

void PlaceTreeModel::forEachNode(char16_t kind, const std::function<void(int id, int higher)> &visit) const {
    for (const Node &n : m_nodes)
        if (n.kind == kind && n.parent != Removed)
            visit(n.id, n.higher);
}

QModelIndex PlaceTreeModel::firstNode() const {
    return m_topCount > 0 ? index(0, 0) : QModelIndex();
}

QModelIndex PlaceTreeModel::previousNode(const QModelIndex &index) {
    if (nodeOf(index) < 0)
        return {};
    if (index.row() == 0)
        return parent(index);
    QModelIndex node = sibling(index.row() - 1, 0, index);
    fetchNode(nodeOf(node));
    for (int n = rowCount(node); n > 0; n = rowCount(node)) {
        node = this->index(n - 1, 0, node);
        fetchNode(nodeOf(node));
    }
    return node;
}

bool PlaceTreeModel::removeNode(const QModelIndex &index) {
    const int i = nodeOf(index);
    if (i < 0 || i >= int(m_nodes.size()) || m_nodes[size_t(i)].childCount > 0)
        return false;
    const Node &n = m_nodes[size_t(i)];
    const int p = n.parent;
    const int first = p < 0 ? 0 : m_nodes[size_t(p)].firstChild;
    const int slot = first + n.row;

    beginRemoveRows(parent(index), n.row, n.row);
    m_children.erase(m_children.begin() + slot);
    if (p < 0)
        --m_topCount;
    else
        --m_nodes[size_t(p)].childCount;
    // The later siblings move up a row; every group stored after the slot starts one earlier.
    for (int k = slot; k < first + (p < 0 ? m_topCount : m_nodes[size_t(p)].childCount); ++k)
        --m_nodes[size_t(m_children[size_t(k)])].row;
    for (Node &other : m_nodes)
        if (other.firstChild > slot)
            --other.firstChild;
    m_byKey.remove(n.kind, n.id, i);
    m_nodes[size_t(i)].caption.clear();
    m_nodes[size_t(i)].parent = Removed;
    ++m_removed;
    endRemoveRows();
    return true;
}

TReference PlaceTreeModel::reference(const QModelIndex &index) const {
    const int i = nodeOf(index);
    if (i < 0 || i >= int(m_nodes.size()))
        return {};
    const Node &n = m_nodes[size_t(i)];
    return {QString(QChar(n.kind)), n.id, n.higher};
}

QString PlaceTreeModel::caption(const QModelIndex &index) const {
    const int i = nodeOf(index);
    return i < 0 || i >= int(m_nodes.size()) ? QString() : m_nodes[size_t(i)].caption;
}

size_t PlaceTreeModel::bytesPerNode() const {
    if (m_nodes.empty())
        return 0;
    size_t text = 0;
    for (const Node &n : m_nodes)
        text += size_t(n.caption.capacity()) * sizeof(QChar) + 16; // string data and its header
    const size_t hash = m_byKey.bytes();
    return (m_nodes.capacity() * sizeof(Node) + m_children.capacity() * sizeof(int) + text + hash) /
           m_nodes.size();
}

QModelIndex PlaceTreeModel::index(int row, int column, const QModelIndex &parent) const {
    if (column != 0 || row < 0)
        return {};
    const int p = nodeOf(parent);
    const int first = p < 0 ? 0 : m_nodes[size_t(p)].firstChild;
    const int count = p < 0 ? m_topCount : m_nodes[size_t(p)].childCount;
    if (row >= count)
        return {};
    return createIndex(row, 0, quintptr(m_children[size_t(first + row)]));
}

QModelIndex PlaceTreeModel::parent(const QModelIndex &child) const {
    const int i = nodeOf(child);
    if (i < 0)
        return {};
    const int p = m_nodes[size_t(i)].parent;
    return p < 0 ? QModelIndex() : createIndex(m_nodes[size_t(p)].row, 0, quintptr(p));
}

int PlaceTreeModel::rowCount(const QModelIndex &parent) const {
    if (parent.column() > 0)
        return 0;
    const int p = nodeOf(parent);
    return p < 0 ? m_topCount : m_nodes[size_t(p)].childCount;
}

int PlaceTreeModel::columnCount(const QModelIndex &) const {
    return 1;
}

QVariant PlaceTreeModel::data(const QModelIndex &index, int role) const {
    const int i = nodeOf(index);
    if (i < 0)
        return {};
    const Node &n = m_nodes[size_t(i)];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return n.caption;
    case Qt::DecorationRole: {
        // The image follows the kind: its position in "DWV".
        const int image = n.kind == u'W' ? 1 : (n.kind == u'V' ? 2 : 0);
        return m_icons[image];
    }
    default:
        return {};
    }
}
