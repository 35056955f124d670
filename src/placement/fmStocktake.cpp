#include "placement/fmStocktake.h"

#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/Procedures.h"
#include "data/TessalDialog.h"
#include "model/StocktakeReport.h"
#include "ui/Actions.h"
#include "ui/BusyCursor.h"
#include "ui/DataGrid.h"
#include "ui/ImageList.h"
#include "ui/Seams.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

// The colours of the results: rows of the list and the flash of the result line.
QColor resultColour(const QString &result) {
    if (result == u"F")
        return QColor(0xC8, 0xF0, 0xC8); // green: found on its place
    if (result == u"P")
        return QColor(0xFF, 0xE0, 0x99); // amber: here, kept elsewhere
    if (result == u"U")
        return QColor(0xFF, 0xC0, 0xC0); // red: unknown
    if (result == u"R")
        return QColor(0xD0, 0xE0, 0xFF); // blue: scanned before
    return {};
}

// One beep for a found thing, two for one kept elsewhere, three for an unknown code, none for a
// repeat: the person scanning hears the result without looking.
void beeps(const QString &result) {
    const int times = result == u"F" ? 1 : result == u"P" ? 2 : result == u"U" ? 3 : 0;
    for (int i = 0; i < times; ++i)
        QTimer::singleShot(i * 180, qApp, [] { QApplication::beep(); });
}

TStocktakeFM::ResultSignal &resultSignal() {
    static TStocktakeFM::ResultSignal s = beeps;
    return s;
}

QHash<QString, QPointer<TStocktakeFM>> &openWindows() {
    static QHash<QString, QPointer<TStocktakeFM>> w;
    return w;
}

QVariant outValue(const QVector<Parameter> &params, const char *name) {
    for (const Parameter &p : params)
        if (p.name == QLatin1StringView(name))
            return p.value;
    return {};
}

void setValue(QVector<Parameter> &params, const char *name, const QVariant &value) {
    for (Parameter &p : params)
        if (p.name == QLatin1StringView(name))
            p.value = value;
}

// The workplaces of a department and of the departments under it, each named with the departments
// below the counted one ("Касса / Окно 2").
void workplacesUnder(Connection &cn, int department, const QString &prefix, QStringList &names,
                     QList<int> &keys, int depth = 0) {
    if (depth > 64) // a department placed under its own descendant
        return;
    const QVariantMap p{{QStringLiteral("D"), department}};
    for (const auto &r :
         cn.query(QStringLiteral("SELECT IdWorkplace, WrkpName FROM Workplace WHERE WrkpIdDepartment "
                                 "= :D ORDER BY WrkpOrder, IdWorkplace"),
                  p)
             .rows) {
        names << prefix + r[1].toString().trimmed();
        keys << r[0].toInt();
    }
    for (const auto &r :
         cn.query(QStringLiteral("SELECT IdDepartment, DprtName FROM Department WHERE DprtIdHigher = "
                                 ":D AND IdDepartment <> :D ORDER BY DprtOrder, IdDepartment"),
                  p)
             .rows)
        workplacesUnder(cn, r[0].toInt(), prefix + r[1].toString().trimmed() + QStringLiteral(" / "), names,
                        keys, depth + 1);
}

} // namespace

std::function<void(const ReportTable &)> &TStocktakeFM::ReportViewer() {
    static std::function<void(const ReportTable &)> v;
    return v;
}

TStocktakeFM::ResultSignal TStocktakeFM::SetResultSignal(ResultSignal signal) {
    ResultSignal old = std::move(resultSignal());
    resultSignal() = signal ? std::move(signal) : ResultSignal(beeps);
    return old;
}

TStocktakeFM *TStocktakeFM::Open(Connection &cn, const QString &placeKind, int placeId,
                                 const QString &caption, QWidget *parent) {
    const QString key = placeKind + QString::number(placeId);
    if (TStocktakeFM *w = openWindows().value(key)) {
        w->showNormal();
        w->raise();
        w->activateWindow();
        return w;
    }
    auto *w = new TStocktakeFM(cn, placeKind, placeId, caption, parent);
    w->setAttribute(Qt::WA_DeleteOnClose);
    openWindows().insert(key, w);
    w->show();
    w->edScan->setFocus();
    return w;
}

TStocktakeFM::TStocktakeFM(Connection &cn, const QString &placeKind, int placeId, const QString &caption,
                           QWidget *parent)
    : QWidget(parent, Qt::Window), m_cn(cn), m_placeKind(placeKind), m_caption(caption), m_placeId(placeId) {
    setObjectName(QStringLiteral("StocktakeFM"));
    setWindowTitle(QStringLiteral("Инвентаризация: %1").arg(caption));
    resize(900, 600);

    actions = new ActionList(this);
    auto act = [&](const char *name, const QString &text, const QString &hint, int image) {
        auto *a = new Action(this, QString::fromLatin1(name), text, hint, image);
        actions->add(a);
        return a;
    };
    acMoveHere = act("acMoveHere", QStringLiteral("Переместить сюда"),
                     QStringLiteral("Переместить устройство, найденное здесь, на это место\r\n(с историей "
                                    "перемещений)"),
                     Img::Move);
    acMoveHere->setEnabledWhen([this] {
        return m_count > 0 && !finished() && currentValue(QStringLiteral("Result")) == u"P" &&
               currentValue(QStringLiteral("Kind")) == u"V";
    });
    acMoveHere->onTrigger([this] { moveHere(); });
    acFinish = act("acFinish", QStringLiteral("Завершить"),
                   QStringLiteral("Завершить инвентаризацию: список будет сохранён как есть"), Img::Ok);
    acFinish->setEnabledWhen([this] { return m_count > 0 && !finished(); });
    acFinish->onTrigger([this] { finish(); });
    acReport = act("acReport", QStringLiteral("Отчёт"),
                   QStringLiteral("Отчёт об инвентаризации с итогами и местами для подписей"), Img::Report);
    acReport->setEnabledWhen([this] { return m_count > 0 && bool(ReportViewer()); });
    acReport->onTrigger([this] { report(); });
    acRefresh = act("acRefresh", QStringLiteral("Обновить"),
                    QStringLiteral("Обновить список (сканы с других рабочих мест)"), Img::Refresh);
    acRefresh->setEnabledWhen([this] { return m_count > 0; });
    acRefresh->onTrigger([this] { refresh(); });

    tbMain = viewToolBar(this, "tbMain", true);
    for (Action *a : {acRefresh, acMoveHere, acFinish, acReport})
        addToolButton(tbMain, a);

    laPlace = new QLabel(this);
    laPlace->setObjectName(QStringLiteral("laPlace"));
    laPlace->setWordWrap(true);
    cbElements = new QCheckBox(QStringLiteral("С комплектующими, у которых есть серийный номер"), this);
    cbElements->setObjectName(QStringLiteral("cbElements"));
    btStart = new QPushButton(QStringLiteral("Начать"), this);
    btStart->setObjectName(QStringLiteral("btStart"));
    edScan = new QLineEdit(this);
    edScan->setObjectName(QStringLiteral("edScan"));
    edScan->setPlaceholderText(QStringLiteral("Отсканируйте этикетку или введите код и нажмите Enter"));
    edScan->setMaxLength(200);
    laResult = new QLabel(this);
    laResult->setObjectName(QStringLiteral("laResult"));
    laResult->setAutoFillBackground(true);
    laResult->setMinimumHeight(laResult->fontMetrics().height() * 2);
    QFont big = laResult->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    laResult->setFont(big);

    taList = new DataSet(&m_cn, this);
    taList->setObjectName(QStringLiteral("taList"));
    taList->setCommand(QStringLiteral("StocktakeList;1"), CommandType::StoredProc);
    taList->setReadOnly(true);
    grList = new DataGrid(this);
    grList->setObjectName(QStringLiteral("grList"));
    grList->setDataSet(taList);
    grList->setColumns({makeColumn(QStringLiteral("State"), QStringLiteral("Результат"), 130),
                        makeColumn(QStringLiteral("Code"), QStringLiteral("Код"), 110),
                        makeColumn(QStringLiteral("Name"), QStringLiteral("Наименование"), 200),
                        makeColumn(QStringLiteral("KindName"), QStringLiteral("Вид"), 100),
                        makeColumn(QStringLiteral("Place"), QStringLiteral("Место по базе"), 240, true),
                        makeColumn(QStringLiteral("Scanned"), QStringLiteral("Отсканировано"), 120),
                        makeColumn(QStringLiteral("Times"), QStringLiteral("Раз"), 40, false,
                                   Qt::AlignRight | Qt::AlignVCenter)});
    grList->setCellStyle(
        [](const DataSet &ds, int row, const GridColumn &, QFont &, QColor &, QColor &background) {
            const Field *f = ds.findField(QStringLiteral("Result"));
            const QColor c = f ? resultColour(ds.valueAt(row, f->index()).toString()) : QColor();
            if (c.isValid())
                background = c;
        });
    grList->setFooter([this](const GridColumn &c) {
        if (c.field != u"State" || !taList->isActive())
            return QString();
        int found = 0, expected = 0;
        for (int r = 0; r < taList->recordCount(); ++r) {
            const QString result =
                taList->valueAt(r, taList->fieldByName(QStringLiteral("Result"))->index()).toString();
            found += result == u"F";
            expected += result == u"F" || result == u"N";
        }
        return QStringLiteral("Найдено %1 из %2").arg(found).arg(expected);
    });

    auto *startRow = new QHBoxLayout;
    startRow->addWidget(cbElements);
    startRow->addWidget(btStart);
    startRow->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tbMain);
    layout->addWidget(laPlace);
    layout->addLayout(startRow);
    layout->addWidget(edScan);
    layout->addWidget(laResult);
    layout->addWidget(grList, 1);

    connect(btStart, &QPushButton::clicked, this, [this] { Guarded([this] { start(); }); });
    connect(edScan, &QLineEdit::returnPressed, this, [this] { scan(edScan->text()); });

    // The place's open count, when there is one, is taken up where it stopped.
    QVector<Parameter> params = procedureParameters(QStringLiteral("StocktakeCounts;1"));
    setValue(params, m_placeKind == u"D" ? "@Department" : "@Workplace", m_placeId);
    const ResultSet counts = callProcedure(m_cn, QStringLiteral("StocktakeCounts;1"), params);
    int open = 0;
    for (size_t i = 0; i < counts.rows.size() && !open; ++i)
        if (counts.value(i, QStringLiteral("StckFinished")).isNull())
            open = counts.value(i, QStringLiteral("IdStocktake")).toInt();
    if (open > 0)
        resume(open);
    else
        showHead();
}

TStocktakeFM::~TStocktakeFM() {
    auto &windows = openWindows();
    for (auto it = windows.begin(); it != windows.end();)
        it = it.value() == this || it.value().isNull() ? windows.erase(it) : std::next(it);
}

bool TStocktakeFM::finished() const {
    return m_finished;
}

QString TStocktakeFM::currentValue(const QString &field) const {
    if (!taList->isActive() || taList->isEmpty())
        return {};
    return taList->value(field).toString();
}

void TStocktakeFM::start() {
    QVector<Parameter> params = procedureParameters(QStringLiteral("StocktakeStart;1"));
    setValue(params, m_placeKind == u"D" ? "@Department" : "@Workplace", m_placeId);
    setValue(params, "@Elements", cbElements->isChecked() ? 1 : 0);
    callProcedure(m_cn, QStringLiteral("StocktakeStart;1"), params);
    resume(outValue(params, "@IdStocktake").toInt());
    edScan->setFocus();
}

void TStocktakeFM::resume(int count) {
    m_count = count;
    showHead();
    refresh();
}

void TStocktakeFM::showHead() {
    const bool started = m_count > 0;
    cbElements->setVisible(!started);
    btStart->setVisible(!started);
    if (!started) {
        edScan->setEnabled(false);
        laPlace->setText(QStringLiteral("%1. Инвентаризация не начата: нажмите «Начать».").arg(m_caption));
        return;
    }
    const StocktakeCount c = ReadStocktake(m_cn, m_count);
    m_finished = c.finished.isValid();
    edScan->setEnabled(!m_finished);
    QString text = QStringLiteral("%1. Начата %2, %3")
                       .arg(c.placeText, c.started.toString(QStringLiteral("dd.MM.yyyy HH:mm")), c.person);
    if (c.elements)
        text += QStringLiteral("; с комплектующими");
    if (c.finished.isValid())
        text += QStringLiteral(". Завершена %1").arg(c.finished.toString(QStringLiteral("dd.MM.yyyy HH:mm")));
    laPlace->setText(text + u'.');
}

void TStocktakeFM::refresh() {
    if (m_count <= 0)
        return;
    const QString code = currentValue(QStringLiteral("Code"));
    taList->close();
    taList->setParameterValue(QStringLiteral("@ID"), m_count);
    taList->open();
    if (!code.isEmpty())
        taList->locate(QStringLiteral("Code"), code);
    grList->refreshFooter();
    actions->updateAll();
}

void TStocktakeFM::showResult(const QString &result, const QString &text) {
    laResult->setText(text);
    QPalette p = laResult->palette();
    const QColor colour = resultColour(result);
    p.setColor(QPalette::Window, colour.isValid() ? colour : palette().color(QPalette::Window));
    laResult->setPalette(p);
    laResult->setProperty("result", result);
    // The flash: the colour stays a moment, then the line keeps the text on the usual background.
    QPointer<QLabel> label = laResult;
    QTimer::singleShot(1500, this, [label, text] {
        if (label && label->text() == text) {
            QPalette q = label->palette();
            q.setColor(QPalette::Window, label->parentWidget()->palette().color(QPalette::Window));
            label->setPalette(q);
        }
    });
}

bool TStocktakeFM::scan(const QString &code) {
    if (m_count <= 0)
        return false;
    QVector<Parameter> params = procedureParameters(QStringLiteral("StocktakeScan;1"));
    setValue(params, "@ID", m_count);
    setValue(params, "@Code", code);
    try {
        callProcedure(m_cn, QStringLiteral("StocktakeScan;1"), params);
    } catch (const AppError &e) {
        // A refused scan keeps the text, selected, so the next scan replaces it; no box to close.
        showResult(QStringLiteral("U"), e.message());
        edScan->setText(code);
        edScan->selectAll();
        resultSignal()(QStringLiteral("U"));
        // Another workstation may have finished the count meanwhile.
        try {
            showHead();
        } catch (const AppError &) {
        }
        return false;
    }
    const QString result = outValue(params, "@Result").toString();
    const int times = outValue(params, "@Times").toInt();
    const QString name = outValue(params, "@Name").toString();
    const QString matched = outValue(params, "@Matched").toString();
    QString text;
    if (result == u"F")
        text = QStringLiteral("Найдено: %1").arg(name);
    else if (result == u"P")
        text = QStringLiteral("Не на своём месте: %1 (по базе: %2)")
                   .arg(name, outValue(params, "@Place").toString());
    else
        text = QStringLiteral("Нет в базе: %1").arg(matched);
    if (times > 1)
        text += QStringLiteral(" — уже отсканировано, учтено один раз");
    const QString shown = times > 1 ? QStringLiteral("R") : result;
    showResult(shown, text);
    resultSignal()(shown);
    edScan->clear();
    refresh();
    // The row of what was scanned becomes current: by its object, else by its code.
    const QVariant id = outValue(params, "@ObjectId");
    bool located = false;
    if (!id.isNull())
        located = taList->locate(QStringLiteral("Kind;ObjectId"), {outValue(params, "@Kind"), id});
    if (!located)
        taList->locate(QStringLiteral("Code"), matched);
    return true;
}

void TStocktakeFM::moveHere() {
    const int device = taList->value(QStringLiteral("ObjectId")).toInt();
    const QString name = taList->value(QStringLiteral("Name")).toString();
    QVariant workplace;
    if (m_placeKind == u"D") {
        // A department's count: which of its workplaces takes the device.
        QStringList names;
        QList<int> keys;
        workplacesUnder(m_cn, m_placeId, {}, names, keys);
        QInputDialog dialog(this);
        dialog.setObjectName(QStringLiteral("dgWorkplace"));
        dialog.setWindowTitle(QStringLiteral("Переместить сюда"));
        dialog.setLabelText(QStringLiteral("На какое рабочее место переместить «%1»?").arg(name));
        dialog.setComboBoxItems(names);
        dialog.setComboBoxEditable(false);
        if (RunModal(dialog) != QDialog::Accepted)
            return;
        const qsizetype at = names.indexOf(dialog.textValue());
        if (at < 0)
            return;
        workplace = keys[at];
    }
    QVector<Parameter> params = procedureParameters(QStringLiteral("StocktakeMoveHere;1"));
    setValue(params, "@ID", m_count);
    setValue(params, "@Device", device);
    setValue(params, "@Workplace", workplace);
    callProcedure(m_cn, QStringLiteral("StocktakeMoveHere;1"), params);
    refresh();
    taList->locate(QStringLiteral("Kind;ObjectId"), {QStringLiteral("V"), device});
}

void TStocktakeFM::finish() {
    const StocktakeCount c = ReadStocktake(m_cn, m_count);
    if (!ConfirmWarning(
            QStringLiteral("Завершить инвентаризацию?\r%1.\rПосле завершения сканы в неё не добавляются.")
                .arg(StocktakeTotals(c))))
        return;
    QVector<Parameter> params = procedureParameters(QStringLiteral("StocktakeFinish;1"));
    setValue(params, "@ID", m_count);
    callProcedure(m_cn, QStringLiteral("StocktakeFinish;1"), params);
    showHead();
    refresh();
}

void TStocktakeFM::report() {
    BusyCursor busy;
    const ReportTable r = StocktakeReport(ReadStocktake(m_cn, m_count));
    if (ReportViewer())
        ReportViewer()(r);
}
