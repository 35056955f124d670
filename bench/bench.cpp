// Measures the server procedures and the views on a large database. Prints one "name value" line
// per figure and the ratios against the bare database fetch of the same rows (or the naive
// algorithm) measured in the same run.
#include "data/Connection.h"
#include "data/Errors.h"
#include "data/Procedures.h"
#include "data/Settings.h"
#include "data/TessalADO.h"
#include "data/TessalString.h"
#include "data/TessalSystem.h"
#include "data/dmTessalData.h"
#include "dialogs/dgElementEdit.h"
#include "dialogs/dgElementMoveList.h"
#include "dialogs/dgModelList.h"
#include "model/Overview.h"
#include "model/ReportRender.h"
#include "model/Reports.h"
#include "model/dmChainData.h"
#include "model/dmLookUpData.h"
#include "placement/PlaceTree.h"
#include "server/DatabaseCopy.h"
#include "server/DemoData.h"
#include "server/Journal.h"
#include "server/JournalPause.h"
#include "server/Server.h"
#include "ui/Seams.h"
#include "views/OverviewPage.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <functional>

void BenchImport(Connection &cn, QTextStream &out); // ImportBench.cpp

namespace {

QTextStream out(stdout);

// A side of a ratio is timed over at least this long: a call of a fraction of a millisecond is
// repeated until its runs together take this much, and the time of one call is reported.
constexpr double LeastRunMs = 50.0;

// How many calls of work make one run of at least LeastRunMs (one call when it takes that long).
int callsPerRun(const std::function<void()> &work) {
    QElapsedTimer t;
    t.start();
    work();
    const double once = t.nsecsElapsed() / 1e6;
    if (once >= LeastRunMs)
        return 1;
    // Measured once more over several calls: the first call may have filled caches.
    int calls = int(std::ceil(LeastRunMs / std::max(once, 1e-3)));
    t.restart();
    for (int i = 0; i < std::min(calls, 1000); ++i)
        work();
    const double each = t.nsecsElapsed() / 1e6 / std::min(calls, 1000);
    calls = int(std::ceil(LeastRunMs / std::max(each, 1e-3)));
    return std::max(1, calls + calls / 5);
}

// The time of one call in a run of `calls` calls, in milliseconds.
double runMs(const std::function<void()> &work, int calls) {
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < calls; ++i)
        work();
    return t.nsecsElapsed() / 1e6 / calls;
}

// One call, in milliseconds: for work that takes long or writes.
double onceMs(const std::function<void()> &work) {
    return runMs(work, 1);
}

// The best of a few runs, in milliseconds per call.
double timeMs(const std::function<void()> &work, int runs = 5) {
    const int calls = callsPerRun(work);
    double best = 1e300;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, runMs(work, calls));
    return best;
}

// The best of a few runs of each of two ways to the same rows, run by turns: a slow spell of the
// machine then falls on both alike instead of on the one measured during it.
std::pair<double, double> timePairMs(const std::function<void()> &ours, const std::function<void()> &bare,
                                     int runs = 7) {
    const int callsOurs = callsPerRun(ours), callsBare = callsPerRun(bare);
    double best[2] = {1e300, 1e300};
    for (int i = 0; i < runs; ++i) {
        best[0] = std::min(best[0], runMs(ours, callsOurs));
        best[1] = std::min(best[1], runMs(bare, callsBare));
    }
    return {best[0], best[1]};
}

void figure(const char *name, double value, int precision = 2) {
    out << name << ' ' << QString::number(value, 'f', precision) << Qt::endl;
}

// A goal of the benchmark: a figure that has to stay at most (or at least, or under) a limit.
struct Goal {
    QString name;
    double value;
    const char *relation; // "≤", "≥" or "<"
    double limit;
    bool met() const {
        const QLatin1String r(relation);
        return r == QLatin1String("<")   ? value < limit
               : r == QLatin1String("≥") ? value >= limit
                                         : value <= limit;
    }
};
std::vector<Goal> goals;

// A figure with its goal, checked at the end of the run.
void goalFigure(const QString &name, double value, const char *relation, double limit, int precision = 2) {
    figure(qPrintable(name), value, precision);
    goals.push_back({name, value, relation, limit});
}

// After the figures: one line a goal with its figure, the goal and whether it was met, then how
// many were.
void printGoals() {
    int met = 0;
    for (const Goal &g : goals) {
        met += g.met();
        out << "goal " << g.name << ' ' << QString::number(g.value, 'f', 2) << ' '
            << QString::fromUtf8(g.relation) << ' ' << g.limit << ' '
            << (g.met() ? QStringLiteral("да") : QStringLiteral("НЕТ")) << Qt::endl;
    }
    out << "goals_met " << met << " of " << goals.size() << Qt::endl;
}

ResultSet call(Connection &cn, const QString &name, const QVariantList &args = {}) {
    QVector<Parameter> params = procedureParameters(name);
    for (int i = 0; i < args.size() && i + 1 < params.size(); ++i)
        params[i + 1].value = args[i];
    return callProcedure(cn, name, params);
}

// The rows of the tree as a bare fetch: every department, workplace and device with the columns its
// node is made of (parent, name, order; a workplace's phone and a device's kind and network name,
// which are in the captions), and the kinds' names the devices' captions begin with.
size_t bareTreeFetch(Connection &cn) {
    return cn.query(QStringLiteral("SELECT IdDepartment, DprtIdHigher, DprtName, DprtOrder FROM Department"))
               .rows.size() +
           cn.query(QStringLiteral("SELECT IdKind, KindName, ShortName FROM Kind")).rows.size() +
           cn.query(QStringLiteral(
                        "SELECT IdWorkplace, WrkpIdDepartment, WrkpName, WrkpOrder, Phone FROM Workplace"))
               .rows.size() +
           cn.query(QStringLiteral(
                        "SELECT IdDevice, DevcIdWorkplace, DevcName, DevcIdKind, Domain FROM DeviceUnit"))
               .rows.size();
}

void benchLoadTree(Connection &cn) {
    size_t rows = 0;
    const auto [load, bare] = timePairMs([&] { rows = call(cn, QStringLiteral("LoadTree;1")).rows.size(); },
                                         [&] { bareTreeFetch(cn); });
    figure("loadtree_rows", double(rows), 0);
    figure("loadtree_ms", load);
    figure("loadtree_bare_fetch_ms", bare);
    goalFigure(QStringLiteral("ratio_loadtree_to_bare_fetch"), load / bare, "≤", 2);
}

void benchSearch(Connection &cn, const QString &text) {
    size_t found = 0;
    size_t scanned = 0;
    // Against the naive way: read every searchable text and look for the text in each.
    const auto [search, scan] =
        timePairMs([&] { found = call(cn, QStringLiteral("GridSearch;1"), {text}).rows.size(); },
                   [&] {
                       const ResultSet all =
                           cn.query(QStringLiteral("SELECT Kind, ID, Name FROM SearchText"));
                       scanned = 0;
                       for (const auto &row : all.rows)
                           if (row[2].toString().contains(text, Qt::CaseInsensitive))
                               ++scanned;
                   },
                   3);
    figure("search_rows", double(found), 0);
    figure("search_ms", search);
    figure("search_full_scan_ms", scan);
    goalFigure(QStringLiteral("ratio_full_scan_to_search"), scan / search, "≥", 20);
    Q_UNUSED(scanned);
}

// FindDevice;1 against the way it first worked: every device read with its workplace and
// department, and the words looked for in memory in the texts the find promises.
void benchFindDevice(Connection &cn, const char *label, const QString &text) {
    size_t found = 0;
    const double find = timeMs([&] { found = call(cn, QStringLiteral("FindDevice;1"), {text}).rows.size(); });
    const QStringList words = FoldText(text).simplified().split(u' ', Qt::SkipEmptyParts);
    size_t matched = 0;
    const double scan = timeMs(
        [&] {
            const ResultSet rs =
                cn.query(QStringLiteral("SELECT d.IdDevice, d.DevcName, d.Domain, d.DevcNumber, w.WrkpName, "
                                        "p.DprtName FROM DeviceUnit d "
                                        "LEFT JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace "
                                        "LEFT JOIN Department p ON p.IdDepartment = w.WrkpIdDepartment"));
            matched = 0;
            for (const auto &row : rs.rows) {
                const QString hay = FoldText(
                    QStringList{row[1].toString(), row[2].toString(), row[3].toString(), row[4].toString()}
                        .join(u'\n'));
                matched += std::all_of(words.cbegin(), words.cend(),
                                       [&](const QString &w) { return hay.contains(w); });
            }
        },
        3);
    out << "find_" << label << "_text " << text << Qt::endl;
    out << "find_" << label << "_rows " << found << " of " << matched << Qt::endl;
    out << "find_" << label << "_ms " << QString::number(find, 'f', 2) << Qt::endl;
    out << "find_" << label << "_fetch_and_filter_ms " << QString::number(scan, 'f', 2) << Qt::endl;
    goalFigure(QStringLiteral("ratio_find_%1_fetch_and_filter_to_find").arg(QLatin1String(label)),
               scan / find, "≥", 20);
}

// Every find over texts from rare to common, the worst time of each find over them all, and the
// fetch of every row with the same words looked for in memory (FindText as the yardstick: the texts
// each find promises, already folded).
void benchFinds(Connection &cn) {
    const QStringList texts{QStringLiteral("nb-123457"),     QStringLiteral("0123457"),
                            QStringLiteral("ecosys"),        QStringLiteral("блок 01234"),
                            QStringLiteral("рабочее место"), QStringLiteral("жёсткий"),
                            QStringLiteral("ЖЕСТКИЙ ДИСК"),  QStringLiteral("филиал"),
                            QStringLiteral("000"),           QStringLiteral("zzzq")};
    struct Find {
        const char *name, *kind; // kind of find text, or null for a catalogue find
    } finds[] = {{"FindDevice", "V"},
                 {"FindWorkplace", "W"},
                 {"FindDepartment", "D"},
                 {"FindKind", nullptr},
                 {"FindModel", nullptr}};
    for (const Find &f : finds) {
        double worst = 0, worstScan = 0;
        QString worstText;
        for (const QString &text : texts) {
            size_t found = 0;
            const double ms = timeMs(
                [&] {
                    found = call(cn, QString::fromLatin1(f.name) + QStringLiteral(";1"), {text}).rows.size();
                },
                3);
            out << "finds_" << f.name << " \"" << text << "\" " << QString::number(ms, 'f', 2) << " ms, "
                << found << " rows" << Qt::endl;
            if (ms > worst) {
                worst = ms;
                worstText = text;
            }
        }
        if (f.kind) {
            // Fetch and filter of the rows of that kind, for the text the find was slowest on.
            const QStringList words = FoldText(worstText).simplified().split(u' ', Qt::SkipEmptyParts);
            worstScan = timeMs(
                [&] {
                    size_t matched = 0;
                    for (const auto &row :
                         cn.query(QStringLiteral("SELECT ID, Text FROM FindText WHERE Kind = '%1'")
                                      .arg(QString::fromLatin1(f.kind)))
                             .rows) {
                        const QString hay = row[1].toString();
                        matched += std::all_of(words.cbegin(), words.cend(),
                                               [&](const QString &w) { return hay.contains(w); });
                    }
                    Q_UNUSED(matched);
                },
                2);
        }
        out << "finds_" << f.name << "_worst_ms " << QString::number(worst, 'f', 2) << " (\"" << worstText
            << "\")";
        if (worstScan > 0)
            out << ", fetch and filter " << QString::number(worstScan, 'f', 1) << " ms, ratio "
                << QString::number(worstScan / worst, 'f', 1);
        out << Qt::endl;
    }
}

// The parent search as first written: for every row, scan every node loaded so far and take the
// last one of the parent's kind and key. Quadratic; kept here as the yardstick.
size_t quadraticTree(const ResultSet &rs) {
    struct Node {
        QChar kind;
        int id;
        int parent;
    };
    std::vector<Node> nodes;
    nodes.reserve(rs.rows.size());
    const int cId = rs.indexOf(QStringLiteral("ID")), cHigher = rs.indexOf(QStringLiteral("Higher")),
              cKind = rs.indexOf(QStringLiteral("Kind"));
    size_t attached = 0;
    for (const auto &row : rs.rows) {
        const QString kind = row[cKind].toString();
        if (kind.isEmpty())
            continue;
        const int higher = row[cHigher].toInt();
        int parent = -1;
        if (higher != 0) {
            const QChar parentKind = kind.front() == u'V' ? u'W' : u'D';
            for (size_t i = 0; i < nodes.size(); ++i)
                if (nodes[i].id == higher && nodes[i].kind == parentKind)
                    parent = int(i);
        }
        attached += parent >= 0;
        nodes.push_back({kind.front(), row[cId].toInt(), parent});
    }
    return attached;
}

// The resident size of this process in MB, from /proc.
double residentMb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

// The tree as the view loads it, a branch at a time: the first level (every department), the
// largest department opened with its first workplace, a jump to the last device (its path loaded
// first), and a reload that keeps the opened branches; each against the bare fetch of its rows.
void benchBranches(Connection &cn) {
    auto source = [&cn](const char *procedure) {
        return [&cn, procedure](const QString &kind, int id) {
            return call(
                cn, QString::fromLatin1(procedure),
                {kind.isEmpty() ? QVariant() : QVariant(kind), kind.isEmpty() ? QVariant() : QVariant(id)});
        };
    };
    const double before = residentMb();
    PlaceTreeModel model;
    model.setSources(source("LoadTreeBranch;1"), source("TreePath;1"));
    const auto [first, firstBare] =
        timePairMs([&] { model.reload(); },
                   [&] {
                       cn.query(QStringLiteral(
                           "SELECT IdDepartment, DprtIdHigher, DprtName, DprtOrder FROM Department"));
                   });
    figure("branches_first_level_nodes", model.nodeCount(), 0);
    figure("branches_first_level_ms", first);
    figure("branches_first_level_bare_fetch_ms", firstBare);

    const ResultSet largest = cn.query(QStringLiteral("SELECT WrkpIdDepartment, count(*) FROM Workplace "
                                                      "GROUP BY WrkpIdDepartment ORDER BY 2 DESC LIMIT 1"));
    const int dep = largest.rows.empty() ? 0 : largest.rows[0][0].toInt();
    QElapsedTimer t;
    t.start();
    const QModelIndex depIndex = model.find(QStringLiteral("D"), dep);
    model.fetchBranch(depIndex);
    const QModelIndex place = model.index(0, 0, depIndex);
    model.fetchBranch(place);
    figure("branches_open_department_and_workplace_ms", t.nsecsElapsed() / 1e6);
    figure("branches_open_nodes", model.nodeCount(), 0);
    figure("branches_resident_growth_mb", residentMb() - before, 1);

    const int lastDevice = cn.scalar(QStringLiteral("SELECT max(IdDevice) FROM DeviceUnit")).toInt();
    t.restart();
    const bool jumped = model.find(QStringLiteral("V"), lastDevice).isValid();
    figure("branches_jump_to_last_device_ms", t.nsecsElapsed() / 1e6);
    figure("branches_jump_found", jumped ? 1 : 0, 0);

    const int placeId = model.reference(place).Id;
    const auto [reload, reloadBare] =
        timePairMs([&] { model.reload(); },
                   [&] {
                       cn.query(QStringLiteral("SELECT IdDepartment, DprtIdHigher, "
                                               "DprtName, DprtOrder FROM Department"));
                       cn.query(QStringLiteral("SELECT IdWorkplace, WrkpName FROM "
                                               "Workplace WHERE WrkpIdDepartment = %1")
                                    .arg(dep));
                       cn.query(QStringLiteral("SELECT IdDevice, DevcName FROM "
                                               "DeviceUnit WHERE DevcIdWorkplace = %1")
                                    .arg(placeId));
                   });
    figure("branches_reload_nodes", model.nodeCount(), 0);
    figure("branches_reload_ms", reload);
    figure("branches_reload_bare_fetch_ms", reloadBare);
    figure("ratio_branches_reload_to_bare_fetch", reload / reloadBare);
}

void benchTree(Connection &cn) {
    QVector<Parameter> none;
    ResultSet rows;
    PlaceTreeModel model;
    // What the view does on a reload: the procedure's rows, then the tree built from them.
    const auto [reload, bare] = timePairMs(
        [&] {
            rows = callProcedure(cn, QStringLiteral("LoadTree;1"), none);
            model.load(rows);
        },
        [&] { bareTreeFetch(cn); });
    const double build = timeMs([&] { model.load(rows); });
    figure("tree_nodes", model.nodeCount(), 0);
    figure("tree_reload_ms", reload);
    figure("tree_build_ms", build);
    figure("tree_bare_fetch_ms", bare);
    goalFigure(QStringLiteral("ratio_tree_reload_to_bare_fetch"), reload / bare, "≤", 1.5);
    figure("tree_bytes_per_node", double(model.bytesPerNode()), 0);

    // FindNode: the hash look-up of a node deep in the tree, averaged over many calls.
    const int last = rows.rows.empty() ? 0 : rows.rows.back()[rows.indexOf(QStringLiteral("ID"))].toInt();
    const QString lastKind =
        rows.rows.empty() ? QString() : rows.rows.back()[rows.indexOf(QStringLiteral("Kind"))].toString();
    const int calls = 10000;
    const double find = timeMs([&] {
        for (int i = 0; i < calls; ++i)
            model.find(lastKind, last);
    });
    figure("findnode_us", find * 1000.0 / calls, 3);

    // Linear against quadratic parent search on the first 30 000 rows.
    ResultSet part;
    part.columns = rows.columns;
    part.rows.assign(rows.rows.begin(), rows.rows.begin() + std::min<size_t>(30000, rows.rows.size()));
    PlaceTreeModel small;
    const double linear = timeMs([&] { small.load(part); });
    size_t attached = 0;
    const double quadratic = onceMs([&] { attached = quadraticTree(part); });
    figure("tree30k_nodes", double(part.rows.size()), 0);
    figure("tree30k_linear_ms", linear);
    figure("tree30k_quadratic_ms", quadratic);
    goalFigure(QStringLiteral("ratio_tree30k_quadratic_to_linear"), quadratic / linear, "≥", 20);
    Q_UNUSED(attached);
}

// The element dialogs as the placement view opens them (the modal part answered at once), against
// the bare fetch of the rows each shows: the element dialog's record, kinds, models and documents;
// the model list of the kind with the most models; the move history of an element.
void benchElementDialogs(Connection &cn) {
    const ResultSet largest =
        cn.query(QStringLiteral("SELECT ModlKind, count(*) AS n FROM Model WHERE ModlKind IS NOT NULL GROUP "
                                "BY ModlKind ORDER BY n DESC LIMIT 1"));
    const ResultSet sample =
        cn.query(QStringLiteral("SELECT c.IdComponent, c.ModelKind, k.KindType FROM CompleteSet c JOIN Kind "
                                "k ON k.IdKind = c.ModelKind "
                                "WHERE k.KindType = 'H' ORDER BY c.IdComponent DESC LIMIT 1"));
    if (largest.rows.empty() || sample.rows.empty()) {
        out << "element_dialogs skipped: no models or elements" << Qt::endl;
        return;
    }
    const int kind = largest.rows[0][0].toInt();
    const int element = sample.rows[0][0].toInt();
    const int elementKind = sample.rows[0][1].toInt();
    // An element with a history worth showing: fifty moves recorded where it stands.
    if (cn.scalar(QStringLiteral("SELECT count(*) FROM ElementMove WHERE IdComponent = :E"),
                  {{QStringLiteral("E"), element}})
            .toInt() < 50) {
        Transaction tx(cn);
        for (int i = 0; i < 50; ++i)
            call(cn, QStringLiteral("ExeElementMoveDocument;1"), {element});
        tx.commit();
    }

    TdmTessal dm(cn.url().toString());
    TdmChain chain(dm.cnGeneral);
    TdmLookUp lookup(dm.cnGeneral);
    // The dialogs made here end with this function, before the connection does.
    std::optional<DialogRegistry> dialogs(std::in_place);
    const ModalHandler previous = SetModalHandler([](QDialog &) { return int(QDialog::Rejected); });

    const auto [edit, editBare] = timePairMs(
        [&] { TCompleteSetEditDG::Run(element, -1, QStringLiteral("H")); },
        [&] {
            cn.query(QStringLiteral("SELECT * FROM CompleteSet WHERE IdComponent = :E"),
                     {{QStringLiteral("E"), element}});
            cn.query(QStringLiteral(
                "SELECT IdKind, KindName, ShortName, KindType, KindOrder FROM Kind WHERE KindType = 'H'"));
            cn.query(QStringLiteral(
                         "SELECT IdModel, ModlName, ModlNumber, DisplayParameters, ModlWeight FROM Model "
                         "WHERE ModlKind = :K"),
                     {{QStringLiteral("K"), elementKind}});
            cn.query(QStringLiteral(
                "SELECT d.IdDocument, d.DocNumber, d.DocDate, d.DocKind, k.Name, c.DisplayName "
                "FROM Document d LEFT JOIN DocKind k ON k.ID = d.DocKind "
                "LEFT JOIN Client c ON c.IdClient = d.DocClient"));
        });
    figure("element_dialog_ms", edit);
    figure("element_dialog_bare_fetch_ms", editBare);
    goalFigure(QStringLiteral("ratio_element_dialog_to_bare_fetch"), edit / editBare, "≤", 2);

    int models = 0;
    const auto [list, listBare] = timePairMs(
        [&] {
            TModelListDG::Run(-1, nullptr, kind);
            models = TModelListDG::Instance()->taModel->recordCount();
        },
        [&] {
            cn.query(QStringLiteral(
                         "SELECT IdModel, ModlWeight, ModlName, ModlParametersValue, ModlNote, ModlKind, "
                         "ModlIdProducer, DisplayParameters FROM Model WHERE ModlKind = :K"),
                     {{QStringLiteral("K"), kind}});
            cn.query(QStringLiteral(
                         "SELECT IdKind, KindName, ShortName, KindType, KindOrder FROM Kind WHERE KindType = "
                         "(SELECT KindType FROM Kind WHERE IdKind = :K)"),
                     {{QStringLiteral("K"), kind}});
        });
    figure("model_list_rows", models, 0);
    figure("model_list_ms", list);
    figure("model_list_bare_fetch_ms", listBare);
    goalFigure(QStringLiteral("ratio_model_list_to_bare_fetch"), list / listBare, "≤", 2);

    int moves = 0;
    const auto [history, historyBare] = timePairMs(
        [&] {
            TElementMoveListDG::Run(element);
            moves = TElementMoveListDG::Instance()->taMove->recordCount();
        },
        [&] {
            cn.query(QStringLiteral("SELECT ID, Moving, Place FROM ElementMove WHERE IdComponent = :E"),
                     {{QStringLiteral("E"), element}});
        });
    figure("move_history_rows", moves, 0);
    figure("move_history_ms", history);
    figure("move_history_bare_fetch_ms", historyBare);
    goalFigure(QStringLiteral("ratio_move_history_to_bare_fetch"), history / historyBare, "≤", 2);

    SetModalHandler(previous);
    dialogs.reset();
}

// The consumables and documents views' procedures and the largest own report, each against the
// bare fetch of the rows it reads.
void benchViews(Connection &cn) {
    const QVariant model = cn.scalar(
        QStringLiteral("SELECT c.CmplIdModel FROM CompleteSet c JOIN Model m ON m.IdModel = c.CmplIdModel "
                       "JOIN Kind k ON k.IdKind = m.ModlKind WHERE k.KindType = 'M' GROUP BY c.CmplIdModel "
                       "ORDER BY count(*) DESC LIMIT 1"));
    if (!model.isNull()) {
        size_t rows = 0;
        const auto [proc, bare] = timePairMs(
            [&] { rows = call(cn, QStringLiteral("GridChangeDevice;1"), {model}).rows.size(); },
            [&] {
                cn.query(
                    QStringLiteral("SELECT c.IdComponent, c.CmplIdDevice, c.CmplDateSet, c.CmplNumber, "
                                   "c.NumberManufact, c.NumberSeller, d.DevcName, w.WrkpName, p.DprtName "
                                   "FROM CompleteSet c JOIN DeviceUnit d ON d.IdDevice = c.CmplIdDevice "
                                   "LEFT JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace "
                                   "LEFT JOIN Department p ON p.IdDepartment = w.WrkpIdDepartment "
                                   "WHERE c.CmplIdModel = :M"),
                    {{QStringLiteral("M"), model}});
            });
        figure("change_device_rows", double(rows), 0);
        figure("change_device_ms", proc);
        figure("change_device_bare_ms", bare);
        goalFigure(QStringLiteral("ratio_change_device_to_bare_fetch"), proc / bare, "≤", 2);
    }

    size_t docs = 0;
    const auto [list, listBare] = timePairMs(
        [&] { docs = call(cn, QStringLiteral("GridDocumentList;1")).rows.size(); },
        [&] {
            cn.query(QStringLiteral("SELECT DocumentId, Price FROM CompleteSet WHERE DocumentId IS NOT NULL "
                                    "AND Price IS NOT NULL"));
            cn.query(QStringLiteral("SELECT doc.IdDocument, doc.DocDate, doc.DocNumber, dk.Name, "
                                    "cl.DisplayName FROM Document doc "
                                    "LEFT JOIN DocKind dk ON dk.ID = doc.DocKind LEFT JOIN Client cl ON "
                                    "cl.IdClient = doc.DocClient"));
        },
        3);
    figure("document_list_rows", double(docs), 0);
    figure("document_list_ms", list);
    figure("document_list_bare_ms", listBare);
    goalFigure(QStringLiteral("ratio_document_list_to_bare_fetch"), list / listBare, "≤", 2);

    QTemporaryDir dir;
    size_t lines = 0;
    const auto [report, reportBare] = timePairMs(
        [&] {
            const ReportTable r = BuildReport(cn, QStringLiteral("prevention"));
            lines = r.rows.size();
            WriteReportPdf(r, dir.filePath(QStringLiteral("prevention.pdf")));
        },
        [&] {
            cn.query(QStringLiteral(
                "SELECT p.DprtName, w.WrkpName, d.DevcName, d.Prevention, d.PreventionExpress, "
                "d.PreventionNeed, d.IdDevice FROM DeviceUnit d "
                "JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace "
                "JOIN Department p ON p.IdDepartment = w.WrkpIdDepartment"));
        },
        5);
    figure("prevention_rows", double(lines), 0);
    figure("prevention_report_ms", report);
    figure("prevention_bare_ms", reportBare);
    goalFigure(QStringLiteral("ratio_prevention_report_to_bare_fetch"), report / reportBare, "≤", 3);
}

// ---- the change journal ------------------------------------------------------------------------

// The journal's triggers taken away while it lives (SQLite: dropped and made again; PostgreSQL:
// disabled), and the connection's person with them.
class JournalOff {
public:
    explicit JournalOff(Connection &cn) : m_cn(cn), m_person(cn.person()) { cn.setPerson(QString()); }
    ~JournalOff() { m_cn.setPerson(m_person); } // the triggers come back after this, with m_triggers

private:
    Connection &m_cn;
    QString m_person;
    Journal::Pause m_triggers{m_cn};
};

// 10 000 element moves and 10 000 device edits, each in its own transaction as the program writes
// them, with the journal and without it; then one device's history among a million entries
// against the bare indexed select of the same rows.
void benchJournal(Connection &cn) {
    constexpr int Writes = 10000;
    const ResultSet devices =
        cn.query(QStringLiteral("SELECT IdDevice FROM DeviceUnit ORDER BY IdDevice LIMIT 200"));
    const ResultSet elements = cn.query(
        QStringLiteral("SELECT IdComponent FROM CompleteSet ORDER BY IdComponent LIMIT %1").arg(Writes));
    if (devices.rows.size() < 2 || elements.rows.empty()) {
        out << "journal skipped: the database holds too few devices or elements" << Qt::endl;
        return;
    }
    int round = 0;
    auto moves = [&] {
        ++round;
        for (int i = 0; i < Writes; ++i) {
            const QVariant element = elements.rows[size_t(i) % elements.rows.size()][0];
            const QVariant device = devices.rows[size_t(i + round) % devices.rows.size()][0];
            Transaction tx(cn);
            cn.execute(QStringLiteral("UPDATE CompleteSet SET CmplIdDevice = :D WHERE IdComponent = :E"),
                       {{QStringLiteral("D"), device}, {QStringLiteral("E"), element}});
            cn.execute(
                QStringLiteral("INSERT INTO ElementMove (IdComponent, Moving, Place) VALUES (:E, :M, :P)"),
                {{QStringLiteral("E"), element},
                 {QStringLiteral("M"), QDateTime::currentDateTime()},
                 {QStringLiteral("P"), QStringLiteral("Устройство %1").arg(device.toInt())}});
            tx.commit();
        }
    };
    auto edits = [&] {
        ++round;
        for (int i = 0; i < Writes; ++i) {
            Transaction tx(cn);
            cn.execute(QStringLiteral("UPDATE DeviceUnit SET DevcNumber = :N WHERE IdDevice = :D"),
                       {{QStringLiteral("N"), QStringLiteral("B%1-%2").arg(round).arg(i)},
                        {QStringLiteral("D"), devices.rows[size_t(i) % devices.rows.size()][0]}});
            tx.commit();
        }
    };
    for (const auto &[name, work] : {std::pair{"moves", std::function<void()>(moves)}, {"edits", edits}}) {
        // By turns, the best of each: a slow spell of the machine falls on both alike.
        double with = 1e300, without = 1e300;
        for (int run = 0; run < 2; ++run) {
            with = std::min(with, onceMs(work));
            JournalOff off(cn);
            without = std::min(without, onceMs(work));
        }
        figure(qPrintable(QStringLiteral("journal_%1_10000_ms").arg(QLatin1String(name))), with, 0);
        figure(qPrintable(QStringLiteral("journal_%1_bare_ms").arg(QLatin1String(name))), without, 0);
        goalFigure(QStringLiteral("journal_%1_ratio").arg(QLatin1String(name)), with / without, "≤", 1.3);
    }

    // A million entries, spread over the devices, then one device's history.
    constexpr qint64 Million = 1000000;
    const qint64 have = cn.scalar(QStringLiteral("SELECT count(*) FROM Journal")).toLongLong();
    const qint64 deviceCount = cn.scalar(QStringLiteral("SELECT max(IdDevice) FROM DeviceUnit")).toLongLong();
    if (have < Million) {
        Transaction tx(cn);
        const QString series =
            cn.engine() == Engine::PostgreSQL
                ? QStringLiteral("SELECT generate_series(1, %1) AS n").arg(Million - have)
                : QStringLiteral(
                      "WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < %1) "
                      "SELECT n FROM s")
                      .arg(Million - have);
        cn.execute(
            QStringLiteral("INSERT INTO Journal (Stamp, Person, TableName, RowKey, OwnerKey, Act, Fields) "
                           "SELECT %1, 'bench', 'DeviceUnit', 1 + n %% %2, 1, 'U', "
                           "'{\"DevcNumber\":[\"a\",\"b\"]}' FROM (%3) x")
                .arg(cn.engine() == Engine::PostgreSQL ? QStringLiteral("localtimestamp(0)")
                                                       : QStringLiteral("datetime('now', 'localtime')"))
                .arg(std::max<qint64>(deviceCount, 1))
                .arg(series)
                .replace(QStringLiteral("%%"), QStringLiteral("%")));
        tx.commit();
    }
    // The statistics the server's autovacuum would have gathered after such growth: without them the
    // planner takes the journal for the few rows it held before the fill.
    if (cn.engine() == Engine::PostgreSQL)
        cn.execute(QStringLiteral("ANALYZE Journal"));
    figure("journal_entries", cn.scalar(QStringLiteral("SELECT count(*) FROM Journal")).toDouble(), 0);
    const qint64 device = devices.rows[1][0].toLongLong();
    size_t shown = 0, bare = 0;
    // The same rows by the same indexes as the history reads them: each part of it by its index,
    // then the entries by their keys.
    const QString bareSql = QStringLiteral(
        "SELECT ID, Stamp, Person, TableName, RowKey, Act, Fields FROM Journal WHERE ID IN (SELECT ID FROM "
        "Journal WHERE TableName = 'DeviceUnit' AND RowKey = :K UNION ALL SELECT ID FROM Journal WHERE "
        "TableName = 'CompleteSet' AND OwnerKey = :K UNION ALL SELECT ID FROM Journal WHERE TableName = "
        "'ElementMove' AND OwnerKey IN (SELECT IdComponent FROM CompleteSet WHERE CmplIdDevice = :K) UNION "
        "ALL SELECT ID FROM Journal WHERE TableName = 'CompleteSet' AND Act = 'U' AND RowKey IN (SELECT "
        "j.RowKey FROM Journal j WHERE j.TableName = 'CompleteSet' AND j.OwnerKey = :K) AND (Fields LIKE :L1 "
        "OR Fields LIKE :L2)) ORDER BY ID DESC LIMIT 5000");
    const QVariantMap bareParams{
        {QStringLiteral("K"), device},
        {QStringLiteral("L1"), QStringLiteral("%\"CmplIdDevice\":[%1,%").arg(device)},
        {QStringLiteral("L2"), QStringLiteral("%\"CmplIdDevice\": [%1,%").arg(device)}};
    const auto [ours, plain] =
        timePairMs([&] { shown = Journal::History(cn, QStringLiteral("DeviceUnit"), device).rows.size(); },
                   [&] { bare = cn.query(bareSql, bareParams).rows.size(); });
    figure("journal_history_rows", double(shown), 0);
    figure("journal_history_bare_rows", double(bare), 0);
    goalFigure(QStringLiteral("journal_history_ms"), ours, "<", 20);
    figure("journal_history_bare_ms", plain);
    goalFigure(QStringLiteral("journal_history_ratio"), ours / plain, "≤", 2);
}

// ---- the overview ------------------------------------------------------------------------------

// The aggregate statements the overview's procedures run, written out here as they reach the
// engine for the whole organisation: what the procedures are measured against.
QStringList overviewBareStatements(const Connection &cn) {
    const bool pg = cn.engine() == Engine::PostgreSQL;
    const auto part = [pg](const char *pgForm, const char *sqliteForm, const QString &e) {
        return QString::fromLatin1(pg ? pgForm : sqliteForm).arg(e);
    };
    const auto year = [&](const QString &e) {
        return part("CAST(EXTRACT(YEAR FROM %1) AS integer)", "CAST(substr(%1, 1, 4) AS INTEGER)", e);
    };
    const auto month = [&](const QString &e) {
        return part("CAST(EXTRACT(MONTH FROM %1) AS integer)", "CAST(substr(%1, 6, 2) AS INTEGER)", e);
    };
    const auto day = [&](const QString &e) {
        return part("CAST(EXTRACT(DAY FROM %1) AS integer)", "CAST(substr(%1, 9, 2) AS INTEGER)", e);
    };
    const QString base = QStringLiteral("coalesce(c.DateSeller, doc.DocDate, c.CmplDateSet)");
    const QString mi = QStringLiteral("(%1 * 12 + %2 - 1 + c.Warranty)").arg(year(base), month(base));
    const QString set = QStringLiteral("c.CmplDateSet");
    const QDate today = QDate::currentDate();
    const QString cur = QString::number(today.year() * 12 + today.month() - 1);
    return {
        QStringLiteral("SELECT d.DevcIdKind, COUNT(*) AS N FROM DeviceUnit d GROUP BY d.DevcIdKind"),
        QStringLiteral(
            "SELECT Y, CAST(SUM(N) AS bigint) AS N FROM (SELECT %1 AS Y, e.N FROM (SELECT c.DocumentId, "
            "COUNT(*) AS N FROM CompleteSet c GROUP BY c.DocumentId) e LEFT JOIN Document doc ON "
            "doc.IdDocument = e.DocumentId) t GROUP BY Y")
            .arg(year(QStringLiteral("doc.DocDate"))),
        QStringLiteral(
            "SELECT Y, COUNT(*) AS N FROM (SELECT d.IdDevice, MIN(%1) AS Y FROM DeviceUnit d LEFT JOIN "
            "(SELECT DISTINCT c.CmplIdDevice, c.DocumentId FROM CompleteSet c) c ON c.CmplIdDevice = "
            "d.IdDevice LEFT JOIN Document doc ON doc.IdDocument = c.DocumentId GROUP BY d.IdDevice) t "
            "GROUP BY Y")
            .arg(year(QStringLiteral("doc.DocDate"))),
        QStringLiteral(
            "SELECT Mi, Past, COUNT(*) AS N FROM (SELECT %1 AS Mi, CASE WHEN %1 = %3 AND %2 < %4 THEN 1 "
            "ELSE 0 END AS Past FROM CompleteSet c LEFT JOIN Document doc ON doc.IdDocument = c.DocumentId "
            "WHERE c.Warranty > 0 AND %5 IS NOT NULL) t GROUP BY Mi, Past")
            .arg(mi, day(base), cur, QString::number(today.day()), base),
        QStringLiteral(
            "SELECT c.CmplIdModel AS M, c.CmplIdDevice AS D, MIN(%1) AS F, MAX(%1) AS L, COUNT(DISTINCT "
            "%2) AS N, MAX(%3) AS S, 1 AS I FROM CompleteSet c JOIN Model m ON m.IdModel = c.CmplIdModel "
            "JOIN Kind k ON k.IdKind = m.ModlKind WHERE k.KindType = 'M' GROUP BY c.CmplIdModel, "
            "c.CmplIdDevice")
            .arg(part("(CAST(%1 AS date) - DATE '2000-01-01')",
                      "CAST(julianday(substr(%1, 1, 10)) AS INTEGER)", set),
                 part("CAST(%1 AS date)", "substr(%1, 1, 10)", set), set),
        QStringLiteral(
            "SELECT d.OnLine, COUNT(*) AS N FROM DeviceUnit d WHERE d.Domain IS NOT NULL GROUP BY d.OnLine"),
        QStringLiteral(
            "SELECT w.WrkpIdDepartment AS Dep, COUNT(*) AS N FROM DeviceUnit d JOIN Workplace w ON "
            "w.IdWorkplace = d.DevcIdWorkplace GROUP BY w.WrkpIdDepartment"),
    };
}

// The overview's procedures against the bare aggregates they wrap, and the page drawn from its
// data against the fetch of that data.
void benchOverview(Connection &cn) {
    const QStringList procedures = {
        QStringLiteral("OverviewKinds;1"),    QStringLiteral("OverviewAge;1"),
        QStringLiteral("OverviewWarranty;1"), QStringLiteral("OverviewForecast;1"),
        QStringLiteral("OverviewNetwork;1"),  QStringLiteral("OverviewDepartments;1")};
    const QStringList bare = overviewBareStatements(cn);
    const auto [ours, plain] = timePairMs(
        [&] {
            for (const QString &p : procedures)
                call(cn, p);
        },
        [&] {
            for (const QString &sql : bare)
                cn.query(sql);
        },
        3);
    figure("overview_procedures_ms", ours);
    figure("overview_bare_aggregates_ms", plain);
    figure("overview_procedures_ratio", ours / plain);

    OverviewData data;
    const double fetch = timeMs([&] { data = LoadOverview(cn, {}); }, 3);
    TOverviewPage page;
    page.resize(1500, 900);
    page.show();
    page.setData(data);
    QCoreApplication::processEvents();
    const double draw = timeMs(
        [&] {
            page.setData(data);
            const QImage shown = page.grab().toImage();
            Q_UNUSED(shown);
        },
        3);
    figure("overview_fetch_ms", fetch);
    figure("overview_draw_ms", draw);
    figure("overview_draw_ratio", draw / fetch);
}

// ---- stocktaking ---------------------------------------------------------------------------------

// A count of the department holding the most devices: every expected code scanned once, as the
// scanner does it (one call each), with a tenth more codes of devices kept elsewhere and unknown
// codes; the list the window reads after each scan; finishing. The count is removed afterwards.
void benchStocktake(Connection &cn) {
    const ResultSet top = cn.query(QStringLiteral("SELECT w.WrkpIdDepartment, count(*) FROM DeviceUnit d "
                                                  "JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace "
                                                  "GROUP BY w.WrkpIdDepartment ORDER BY 2 DESC LIMIT 1"));
    if (top.rows.empty()) {
        out << "stocktake skipped: the database holds no devices" << Qt::endl;
        return;
    }
    const QVariant department = top.rows.front()[0];
    QVector<Parameter> start = procedureParameters(QStringLiteral("StocktakeStart;1"));
    start[1].value = department;
    callProcedure(cn, QStringLiteral("StocktakeStart;1"), start);
    const QVariant count = start[5].value;
    QStringList codes;
    for (const auto &r :
         cn.query(QStringLiteral("SELECT coalesce(nullif(trim(d.DevcNumber), ''), 'V' || "
                                 "CAST(d.IdDevice AS varchar(12))) FROM DeviceUnit d JOIN Workplace "
                                 "w ON w.IdWorkplace = d.DevcIdWorkplace WHERE w.WrkpIdDepartment = "
                                 ":D ORDER BY d.IdDevice"),
                  {{QStringLiteral("D"), department}})
             .rows)
        codes << r[0].toString();
    const int expected = int(codes.size());
    for (const auto &r :
         cn.query(QStringLiteral("SELECT coalesce(nullif(trim(d.DevcNumber), ''), 'V' || "
                                 "CAST(d.IdDevice AS varchar(12))) FROM DeviceUnit d JOIN Workplace "
                                 "w ON w.IdWorkplace = d.DevcIdWorkplace WHERE w.WrkpIdDepartment <> "
                                 ":D ORDER BY d.IdDevice LIMIT %1")
                      .arg(expected / 20 + 1),
                  {{QStringLiteral("D"), department}})
             .rows)
        codes << r[0].toString();
    for (int i = 0; i < expected / 20 + 1; ++i)
        codes << QStringLiteral("NO-SUCH-%1").arg(i);
    QElapsedTimer t;
    t.start();
    for (const QString &code : codes)
        call(cn, QStringLiteral("StocktakeScan;1"), {count, code});
    const double scans = t.nsecsElapsed() / 1e6;
    figure("stocktake_expected", expected, 0);
    figure("stocktake_scans", double(codes.size()), 0);
    figure("stocktake_scan_ms", scans / double(codes.size()), 3);
    // What any one-row write costs here in its own transaction (the commit's flush): a scan's floor.
    figure("stocktake_bare_write_ms", timeMs([&] {
               Transaction tx(cn);
               cn.execute(
                   QStringLiteral("UPDATE Stocktake SET StckPerson = StckPerson WHERE IdStocktake = :ID"),
                   {{QStringLiteral("ID"), count}});
               tx.commit();
           }),
           3);
    figure("stocktake_list_ms", timeMs([&] { call(cn, QStringLiteral("StocktakeList;1"), {count}); }, 3));
    figure("stocktake_finish_ms", timeMs([&] { call(cn, QStringLiteral("StocktakeFinish;1"), {count}); }, 1));
    Transaction tx(cn);
    cn.execute(QStringLiteral("DELETE FROM Stocktake WHERE IdStocktake = :ID"),
               {{QStringLiteral("ID"), count}});
    tx.commit();
}
// ---- the copy between databases ----------------------------------------------------------------

// An empty throwaway target: a file in a temporary folder ("sqlite"), or a schema of its own in
// the PostgreSQL database at that address, dropped at the end.
class CopyTarget {
public:
    explicit CopyTarget(const QString &to, const char *name) {
        if (to.isEmpty() || to == u"sqlite") {
            cn.open(QStringLiteral("sqlite:") + m_dir.filePath(QLatin1String(name) + QStringLiteral(".db")));
            return;
        }
        cn.open(to);
        m_schema = QStringLiteral("bench_copy_%1").arg(QLatin1String(name));
        cn.execute(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(m_schema));
        cn.execute(QStringLiteral("CREATE SCHEMA %1").arg(m_schema));
        cn.execute(QStringLiteral("SET search_path TO %1, public").arg(m_schema));
    }
    ~CopyTarget() {
        try {
            if (!m_schema.isEmpty())
                cn.execute(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(m_schema));
        } catch (const AppError &) {
        }
    }
    Connection cn;

private:
    QTemporaryDir m_dir;
    QString m_schema;
};

// The whole database copied into an empty one of the engine `to`, against the bare bulk load of
// the same rows into the same kind of target: each table read whole into memory first, then only
// its writing timed (the engine's prepared insert on SQLite, COPY on PostgreSQL, with the
// database's triggers off and the text indexes built, as the copy does).
void benchCopy(Connection &source, const QString &to) {
    double bare = 0, copy = 0;
    {
        CopyTarget target(to, "bare");
        bare = DatabaseCopy::timedBareLoad(source, target.cn) / 1e6;
    }
    qint64 rows = 0;
    {
        CopyTarget target(to, "copy");
        QElapsedTimer t;
        t.start();
        for (const auto &c : DatabaseCopy::copy(source, target.cn))
            rows += c.target;
        copy = t.nsecsElapsed() / 1e6;
    }
    figure("copy_rows", double(rows), 0);
    figure("copy_ms", copy);
    figure("copy_bare_ms", bare);
    figure("copy_ratio", copy / bare);
}

} // namespace

int main(int argc, char *argv[]) {
    ReadTimeZoneOnce();
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Korvant"));
    QCoreApplication::setApplicationName(QStringLiteral("Velmora"));
    QCommandLineParser p;
    p.addHelpOption();
    p.addOption({QStringLiteral("database"), QStringLiteral("Database URL."), QStringLiteral("url")});
    p.addOption({QStringLiteral("scale"),
                 QStringLiteral("Fill an empty database with about N devices first."), QStringLiteral("n")});
    p.addOption({QStringLiteral("search"), QStringLiteral("Text to search for (default: one serial number)."),
                 QStringLiteral("text")});
    p.addOption({QStringLiteral("only"),
                 QStringLiteral("Measure only these parts, separated by commas: loadtree, tree, search, "
                                "views, find, dialogs, overview; finds (every find, many texts), journal, "
                                "stocktake, copy and import only "
                                "when named (they write)."),
                 QStringLiteral("parts")});
    p.addOption({QStringLiteral("copy-to"),
                 QStringLiteral("The engine the copy writes into: sqlite (a temporary file, the default) or "
                                "the address of a PostgreSQL database (in a throwaway schema)."),
                 QStringLiteral("url")});
    p.process(app);
    const QStringList only = p.value(QStringLiteral("only")).split(u',', Qt::SkipEmptyParts);
    const auto wanted = [&](const char *part) {
        return only.isEmpty() || only.contains(QLatin1String(part));
    };

    try {
        InstallServer();
        Connection cn;
        cn.open(p.isSet(QStringLiteral("database")) ? p.value(QStringLiteral("database"))
                                                    : DatabaseLocation());
        PrepareDatabase(cn);
        if (p.isSet(QStringLiteral("scale")) &&
            cn.scalar(QStringLiteral("SELECT count(*) FROM DeviceUnit")).toInt() == 0) {
            QElapsedTimer t;
            t.start();
            CreateScaleData(cn, p.value(QStringLiteral("scale")).toInt());
            figure("fill_s", t.elapsed() / 1000.0, 1);
        }
        figure("devices", cn.scalar(QStringLiteral("SELECT count(*) FROM DeviceUnit")).toDouble(), 0);
        figure("elements", cn.scalar(QStringLiteral("SELECT count(*) FROM CompleteSet")).toDouble(), 0);
        if (wanted("loadtree"))
            benchLoadTree(cn);
        if (wanted("tree"))
            benchTree(cn);
        if (wanted("branches"))
            benchBranches(cn);
        QString text = p.value(QStringLiteral("search"));
        if (text.isEmpty())
            text = cn.scalar(QStringLiteral(
                                 "SELECT NumberManufact FROM CompleteSet WHERE NumberManufact IS NOT NULL "
                                 "ORDER BY IdComponent DESC LIMIT 1"))
                       .toString();
        if (text.isEmpty())
            text = QStringLiteral("склад");
        out << "search_text " << text << Qt::endl;
        if (wanted("search"))
            benchSearch(cn, text);
        if (wanted("views"))
            benchViews(cn);
        // A word in the middle of a device name, and two words, one of them part of a number.
        if (wanted("find")) {
            benchFindDevice(cn, "word", QStringLiteral("ecosys"));
            benchFindDevice(cn, "two_words", QStringLiteral("блок 01234"));
        }
        // Every find over a table of texts; measured only when asked for.
        if (only.contains(QStringLiteral("finds")))
            benchFinds(cn);
        if (wanted("dialogs"))
            benchElementDialogs(cn);
        if (wanted("overview"))
            benchOverview(cn);
        // It writes: only when asked for.
        if (only.contains(QStringLiteral("journal")))
            benchJournal(cn);
        if (only.contains(QStringLiteral("stocktake")))
            benchStocktake(cn);
        if (only.contains(QStringLiteral("copy")))
            benchCopy(cn, p.value(QStringLiteral("copy-to")));
        if (only.contains(QStringLiteral("import")))
            BenchImport(cn, out);
    } catch (const AppError &e) {
        QTextStream(stderr) << e.message() << Qt::endl;
        return 1;
    }
    printGoals();
    return 0;
}
