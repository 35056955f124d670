#include "views/fmOverview.h"

#include "data/Errors.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/TessalString.h"
#include "data/dmTessalData.h"
#include "ui/BusyCursor.h"
#include "ui/DataGrid.h"
#include "views/OverviewPage.h"

#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

namespace {

Connection *shared() {
    return dmTessal ? &dmTessal->cnGeneral : nullptr;
}

// The title of the date column of a chart's rows.
QString dateTitle(const QString &rows) {
    if (rows == u"warranty")
        return QStringLiteral("Гарантия до");
    if (rows == u"forecast")
        return QStringLiteral("Прогноз");
    if (rows.startsWith(QStringLiteral("age")))
        return QStringLiteral("Документ от");
    return QStringLiteral("Дата");
}

} // namespace

// ---- the list behind a bar -------------------------------------------------------------------

TOverviewListFM::TOverviewListFM(const QString &rows, int key, const QVariant &department, const QDate &today,
                                 const QString &caption, QWidget *parent)
    : QWidget(parent, Qt::Window), rows(rows) {
    setObjectName(QStringLiteral("TOverviewListFM"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(caption);
    resize(900, 520);

    taList = new DataSet(shared(), this);
    taList->setObjectName(QStringLiteral("taList"));
    taList->setCommand(QStringLiteral("OverviewRows;1"), CommandType::StoredProc);
    taList->setReadOnly(true);
    taList->addField(
        {QStringLiteral("Date"), FieldType::DateTime, 0, true, QStringLiteral("dd.MM.yyyy"), {}});

    grList = new DataGrid(this);
    grList->setObjectName(QStringLiteral("grList"));
    grList->setDataSet(taList);
    QVector<GridColumn> columns;
    if (rows.startsWith(QStringLiteral("age")) ? rows == u"ageElements" : rows == u"warranty")
        columns << makeColumn(QStringLiteral("Code"), QStringLiteral("Код"), 60);
    columns << makeColumn(QStringLiteral("Name"),
                          rows == u"forecast" ? QStringLiteral("Материал") : QStringLiteral("Название"), 260)
            << makeColumn(QStringLiteral("Place"), QStringLiteral("Место"), 380, true);
    if (rows != u"kinds" && rows != u"network")
        columns << makeColumn(QStringLiteral("Date"), dateTitle(rows), 90, false, Qt::AlignCenter);
    grList->setColumns(columns);

    laCount = new QLabel(this);
    laCount->setObjectName(QStringLiteral("laCount"));
    auto *hint =
        new QLabel(QStringLiteral("Двойной щелчок открывает строку там, где программа её показывает; "
                                  "копирование и CSV — в меню таблицы."),
                   this);
    hint->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(grList, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(laCount);
    bottom->addWidget(hint, 1);
    layout->addLayout(bottom);

    connect(grList, &DataGrid::rowDoubleClicked, this, [this] { Guarded([this] { GoRow(); }); });

    BusyCursor busy;
    OpenWithParams(*taList, {TypedValue::Text(rows), TypedValue::Int(key), TypedValue::Variant(department),
                             TypedValue::Variant(QDateTime(today, QTime(0, 0)))});
    laCount->setText(QStringLiteral("Строк: %1").arg(CountText(taList->recordCount())));
}

void TOverviewListFM::GoRow() {
    const int id = currentKey(*taList, QStringLiteral("ID"));
    if (id < 0)
        return;
    const QString type = taList->value(QStringLiteral("Type")).toString().trimmed();
    if (rows == u"forecast")
        links.GoChange(currentKey(*taList, QStringLiteral("Model")), id);
    else if (type == u"V")
        links.GoPlacementNode(QStringLiteral("V"), id);
    else
        links.GoPlacementAny(type, id);
}

// ---- the tab ---------------------------------------------------------------------------------

TOverviewFM::TOverviewFM(QWidget *parent) : HostedView(QStringLiteral("Сводка"), parent) {
    setObjectName(QStringLiteral("TOverviewFM"));

    cbDepartment = new QComboBox(this);
    cbDepartment->setObjectName(QStringLiteral("cbDepartment"));
    cbDepartment->setMinimumContentsLength(30);
    cbDepartment->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    btRefresh = new QPushButton(QStringLiteral("Обновить"), this);
    btRefresh->setObjectName(QStringLiteral("btRefresh"));
    btSave = new QPushButton(QStringLiteral("Сохранить как…"), this);
    btSave->setObjectName(QStringLiteral("btSave"));
    laHeading = new QLabel(this);
    laHeading->setObjectName(QStringLiteral("laHeading"));
    pnCharts = new TOverviewPage(this);

    auto *top = new QHBoxLayout;
    auto *label = new QLabel(QStringLiteral("Подразделение"), this);
    label->setBuddy(cbDepartment);
    top->addWidget(label);
    top->addWidget(cbDepartment);
    top->addWidget(btRefresh);
    top->addWidget(laHeading, 1);
    top->addWidget(btSave);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(2, 2, 2, 2);
    outer->addLayout(top);
    outer->addWidget(pnCharts, 1);

    askSavePath = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить сводку"),
                                            QStringLiteral("Сводка.pdf"),
                                            QStringLiteral("Документ PDF (*.pdf);;Рисунок PNG (*.png)"));
    };
    connect(btRefresh, &QPushButton::clicked, this, [this] { Guarded([this] { Refresh(); }); });
    connect(cbDepartment, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_filling)
            Guarded([this] { Refresh(); });
    });
    connect(btSave, &QPushButton::clicked, this, [this] {
        Guarded([this] {
            const QString path = askSavePath ? askSavePath() : QString();
            if (!path.isEmpty())
                SaveAs(path);
        });
    });
    connect(pnCharts, &TOverviewPage::barClicked, this,
            [this](const QString &rows, int key, const QString &caption) {
                Guarded([&] { OpenRows(rows, key, caption); });
            });
}

// The departments as a tree, each indented under its parent; the chosen one stays chosen.
void TOverviewFM::fillDepartments() {
    Connection *cn = shared();
    if (!cn)
        return;
    const QVariant chosen = cbDepartment->currentData();
    const ResultSet rs =
        cn->query(QStringLiteral("SELECT IdDepartment, DprtIdHigher, DprtName FROM Department"));
    QHash<int, QList<int>> children;
    QHash<int, QString> names;
    QSet<int> ids;
    for (const auto &r : rs.rows)
        ids.insert(r[0].toInt());
    QList<int> top;
    for (const auto &r : rs.rows) {
        names.insert(r[0].toInt(), r[2].toString().trimmed());
        if (!r[1].isNull() && ids.contains(r[1].toInt()) && r[1].toInt() != r[0].toInt())
            children[r[1].toInt()] << r[0].toInt();
        else
            top << r[0].toInt();
    }
    const auto byName = [&](QList<int> &l) {
        std::sort(l.begin(), l.end(), [&](int a, int b) {
            const int c = CompareText(names.value(a), names.value(b));
            return c != 0 ? c < 0 : a < b;
        });
    };
    m_filling = true;
    cbDepartment->clear();
    cbDepartment->addItem(QStringLiteral("Все подразделения"), QVariant());
    QSet<int> seen;
    std::function<void(QList<int>, int)> add = [&](QList<int> level, int depth) {
        byName(level);
        for (int id : level) {
            if (seen.contains(id))
                continue;
            seen.insert(id);
            cbDepartment->addItem(QString(depth * 3, u' ') + names.value(id), id);
            add(children.value(id), depth + 1);
        }
    };
    add(top, 0);
    const int at = chosen.isNull() ? 0 : cbDepartment->findData(chosen);
    cbDepartment->setCurrentIndex(std::max(at, 0));
    m_filling = false;
}

void TOverviewFM::Refresh() {
    BusyCursor busy;
    fillDepartments();
    Connection *cn = shared();
    if (!cn)
        return;
    const OverviewData data = LoadOverview(*cn, cbDepartment->currentData());
    pnCharts->setData(data);
    laHeading->setText(OverviewHeading(data));
}

void TOverviewFM::OpenRows(const QString &rows, int key, const QString &caption) {
    if (rows == u"departments") {
        links.GoPlacementNode(QStringLiteral("D"), key);
        return;
    }
    auto *list =
        new TOverviewListFM(rows, key, pnCharts->data().department, pnCharts->data().today, caption, this);
    list->links = links;
    lastList = list;
    list->show();
}

void TOverviewFM::SaveAs(const QString &path) {
    BusyCursor busy;
    if (path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        WriteOverviewPdf(path, pnCharts->data());
    else
        WriteOverviewPng(path, pnCharts->data());
}
