#pragma once

#include "data/Connection.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>
#include <functional>
#include <vector>

// The record every node of the placement tree carries.
struct TReference {
    QString Kind; // "D" department, "W" workplace, "V" device
    int Id = 0;
    int Higher = 0; // parent department of a department or workplace, workplace of a device; 0 at the top
};

// The placement tree as an item model over plain arrays. Rows come parents first; each row hangs
// under the last loaded node of its parent's kind and key ("W" for a device, "D" otherwise), or
// at the top level when there is none. Building is linear in the number of rows.
//
// The tree may be loaded whole (load() with the rows of LoadTree;1) or a branch at a time: with
// sources set, reload() loads the first level (every department) and a node whose rows carry
// Children = 1 gets its children when it is expanded (canFetchMore / fetchMore), when a node below
// it is looked for (find, findKey) or when fetchBranch() asks for them.
class PlaceTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit PlaceTreeModel(QObject *parent = nullptr);

    // The rows under a node (kind "D" or "W" and key), or of the first level for an empty kind, as
    // load() takes them, with a Children column.
    using BranchSource = std::function<ResultSet(const QString &kind, int id)>;
    // The nodes whose branches hold a node, from the top: rows of Kind and ID.
    using PathSource = std::function<ResultSet(const QString &kind, int id)>;
    void setSources(BranchSource branch, PathSource path);

    // Rebuilds the tree from rows (Caption, ID, Higher, Kind, and optionally Children). Rows with
    // an empty kind are skipped.
    void load(const ResultSet &rows);
    // Loads the first level again from the branch source, and the branches that were loaded
    // before, as one reset; everything is read before the tree changes, so a failed read leaves
    // the tree as it was.
    void reload();
    void clear();
    int nodeCount() const { return int(m_nodes.size()) - m_removed; }

    // Invalid when no node matches; loads the branches that hold the node first.
    QModelIndex find(const QString &kind, int id);
    QModelIndex findKey(qint64 nodeKey); // the same by nodeKey()
    // Loads the children of a node not loaded yet; false when there was nothing to load.
    bool fetchBranch(const QModelIndex &index);
    // Calls `visit(id, higher)` for every loaded node of the kind, in load order.
    void forEachNode(char16_t kind, const std::function<void(int id, int higher)> &visit) const;
    QModelIndex firstNode() const;
    // The node before `index` in tree order (its previous sibling's last descendant, else its
    // parent), whether the branches are expanded or not; invalid for the first node. Loads the
    // branches it goes down.
    QModelIndex previousNode(const QModelIndex &index);
    // Takes a node without children out of the tree (false for one with children); its record goes
    // with it. The other nodes keep their indexes' meaning, so nothing is reloaded.
    bool removeNode(const QModelIndex &index);
    // One number per (kind, key), for remembering nodes across reloads.
    static qint64 nodeKey(const TReference &ref) {
        return ref.Kind.isEmpty() ? 0 : hashKey(ref.Kind.front().toUpper().unicode(), ref.Id);
    }
    TReference reference(const QModelIndex &index) const;
    QString caption(const QModelIndex &index) const;
    void setIcons(const QIcon &department, const QIcon &workplace, const QIcon &device);

    // Approximate memory held per node, for the benchmark.
    size_t bytesPerNode() const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

private:
    static constexpr int Removed = -2; // the parent of a node no longer in the tree
    struct Node {
        QString caption;
        int id = 0;
        int higher = 0;
        int parent = -1; // index of the parent node, -1 at the top
        int row = 0;     // position among the parent's children
        int firstChild = 0;
        int childCount = 0;
        char16_t kind = u'D';
        bool pending = false; // has children not loaded yet
    };
    // Builds the tree from rows, without telling the views.
    void build(const ResultSet &rows);
    // Adds the rows of a branch as the last children of node `p`.
    void addBranch(int p, const ResultSet &rows, bool notify);
    int fetchNode(int p); // loads a pending node's children; returns how many came
    QModelIndex indexOf(int node) const;
    QModelIndex findLoaded(char16_t kind, int id) const;
    static qint64 hashKey(char16_t kind, int id) { return (qint64(kind) << 32) | quint32(id); }

    // (kind, key) -> node. Keys are identities, nearly always dense: an array per kind serves them,
    // a hash the rest (a key far above the others, a kind other than D, W, V).
    class NodeIndex {
    public:
        void clear();
        void reserve(size_t nodes);
        void insert(char16_t kind, int id, int node);
        int find(char16_t kind, int id) const;        // -1 when absent
        void remove(char16_t kind, int id, int node); // only while it still leads to that node
        size_t bytes() const;

    private:
        std::vector<int> *dense(char16_t kind, int id);
        const std::vector<int> *dense(char16_t kind, int id) const;
        std::vector<int> m_dense[3]; // D, W, V: node + 1 by key, 0 for none
        QHash<qint64, int> m_other;
        size_t m_limit = 0; // keys below this go to the arrays
    };
    int nodeOf(const QModelIndex &index) const { return index.isValid() ? int(index.internalId()) : -1; }

    std::vector<Node> m_nodes;
    std::vector<int> m_children; // children of every node, grouped per parent, in load order
    int m_topCount = 0;          // top-level nodes are m_children[0 .. m_topCount)
    NodeIndex m_byKey;           // (kind, id) -> the last loaded node
    int m_removed = 0;           // nodes taken out since the load (their slots stay unused)
    std::vector<int> m_fetched;  // nodes whose children were loaded since the load, in that order
    BranchSource m_branch;
    PathSource m_path;
    QIcon m_icons[3];
};
