#include "placement/dgImport.h"

#include "data/Connection.h"
#include "data/Errors.h"
#include "data/Settings.h"
#include "data/SheetReader.h"
#include "data/TessalDialog.h"
#include "data/TessalString.h"
#include "model/InventoryExport.h"
#include "ui/BusyCursor.h"
#include "ui/Seams.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

constexpr int PreviewRows = 20;

const PropertyStore &importSettings() {
    static const PropertyStore store(QStringLiteral("Import"));
    return store;
}

// A progress window for long work: the callback it gives returns false once the person cancels.
class Progress {
public:
    Progress(QWidget *parent, const QString &text)
        : m_dialog(text, QStringLiteral("Отмена"), 0, 1000, parent) {
        m_dialog.setWindowTitle(QStringLiteral("Velmora"));
        m_dialog.setWindowModality(Qt::WindowModal);
        m_dialog.setMinimumDuration(300);
        m_dialog.setValue(0);
    }
    std::function<bool(int)> callback() {
        return [this](int permille) {
            m_dialog.setValue(qBound(0, permille, 999));
            QCoreApplication::processEvents();
            return !m_dialog.wasCanceled();
        };
    }

private:
    QProgressDialog m_dialog;
};

} // namespace

QHash<QString, QString> TImportDG::rememberedHeadings() {
    QHash<QString, QString> out;
    for (const QString &pair : importSettings().read(QStringLiteral("Headings")).toStringList()) {
        const qsizetype tab = pair.indexOf(u'\t');
        if (tab > 0)
            out.insert(pair.left(tab), pair.mid(tab + 1));
    }
    return out;
}

void TImportDG::rememberHeading(const QString &heading, const QString &column) {
    QHash<QString, QString> all = rememberedHeadings();
    if (column.isEmpty())
        all.remove(FoldText(heading.simplified()));
    else
        all.insert(FoldText(heading.simplified()), column);
    QStringList pairs;
    for (auto it = all.cbegin(); it != all.cend(); ++it)
        pairs << it.key() + u'\t' + it.value();
    pairs.sort();
    importSettings().write(QStringLiteral("Headings"), pairs);
}

TImportDG::TImportDG(Connection &cn, const QString &path, QWidget *parent)
    : QDialog(parent), m_cn(cn), m_path(path) {
    setObjectName(QStringLiteral("ImportDG"));
    setWindowTitle(QStringLiteral("Импорт: %1").arg(QFileInfo(path).fileName()));
    resize(900, 620);
    auto *layout = new QVBoxLayout(this);
    lbFormat = new QLabel(this);
    lbFormat->setObjectName(QStringLiteral("lbFormat"));
    layout->addWidget(lbFormat);
    layout->addWidget(new QLabel(QStringLiteral("Первые строки, как они будут прочитаны:"), this));
    grPreview = new QTableWidget(this);
    grPreview->setObjectName(QStringLiteral("grPreview"));
    grPreview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(grPreview, 3);
    layout->addWidget(
        new QLabel(QStringLiteral("Заголовки, которых программа не знает, — чему они соответствуют:"), this));
    grHeadings = new QTableWidget(this);
    grHeadings->setObjectName(QStringLiteral("grHeadings"));
    grHeadings->setColumnCount(2);
    grHeadings->setHorizontalHeaderLabels({QStringLiteral("Заголовок в файле"), QStringLiteral("Столбец")});
    grHeadings->horizontalHeader()->setStretchLastSection(true);
    grHeadings->setColumnWidth(0, 260);
    grHeadings->verticalHeader()->hide();
    layout->addWidget(grHeadings, 1);
    meResult = new QPlainTextEdit(this);
    meResult->setObjectName(QStringLiteral("meResult"));
    meResult->setReadOnly(true);
    layout->addWidget(meResult, 2);
    auto *buttons = new QDialogButtonBox(this);
    btCheck = buttons->addButton(QStringLiteral("Проверить"), QDialogButtonBox::ActionRole);
    btCheck->setObjectName(QStringLiteral("btCheck"));
    btImport = buttons->addButton(QStringLiteral("Загрузить"), QDialogButtonBox::AcceptRole);
    btImport->setObjectName(QStringLiteral("btImport"));
    buttons->addButton(QStringLiteral("Закрыть"), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("btClose"));
    layout->addWidget(buttons);
    connect(btCheck, &QPushButton::clicked, this, [this] { Guarded([this] { check(); }); });
    connect(btImport, &QPushButton::clicked, this, [this] {
        Guarded([this] {
            if (runImport())
                accept();
        });
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    readPreview();
}

void TImportDG::readPreview() {
    const QHash<QString, QString> remembered = rememberedHeadings();
    std::unique_ptr<SheetReader> reader = SheetReader::open(m_path);
    lbFormat->setText(QStringLiteral("Файл: %1 (%2)").arg(QFileInfo(m_path).fileName(), reader->format()));
    QStringList headings;
    reader->next(headings);
    std::vector<QStringList> rows;
    QStringList cells;
    while (int(rows.size()) < PreviewRows && reader->next(cells))
        rows.push_back(cells);
    int columns = int(headings.size());
    for (const QStringList &r : rows)
        columns = std::max(columns, int(r.size()));
    grPreview->clear();
    grPreview->setColumnCount(columns);
    grPreview->setRowCount(int(rows.size()));
    QStringList labels;
    for (int c = 0; c < columns; ++c)
        labels << (c < headings.size() ? headings[c] : QString());
    grPreview->setHorizontalHeaderLabels(labels);
    for (int r = 0; r < int(rows.size()); ++r)
        for (int c = 0; c < rows[size_t(r)].size(); ++c)
            grPreview->setItem(r, c, new QTableWidgetItem(rows[size_t(r)][c]));
    // Wide enough for each heading and its values, so that no heading is cut, up to a limit.
    grPreview->resizeColumnsToContents();
    for (int c = 0; c < columns; ++c)
        grPreview->setColumnWidth(c, std::min(grPreview->columnWidth(c), 320));
    // Spreadsheet row numbers down the side: the first row of data is row 2.
    QStringList numbers;
    for (int r = 0; r < int(rows.size()); ++r)
        numbers << QString::number(r + 2);
    grPreview->setVerticalHeaderLabels(numbers);

    grHeadings->setRowCount(0);
    for (const QString &h : headings) {
        const QString heading = h.simplified();
        if (heading.isEmpty() || InventoryColumnOf(heading) >= 0)
            continue;
        const int row = grHeadings->rowCount();
        grHeadings->insertRow(row);
        grHeadings->setItem(row, 0, new QTableWidgetItem(heading));
        grHeadings->item(row, 0)->setFlags(Qt::ItemIsEnabled);
        auto *combo = new QComboBox(grHeadings);
        combo->addItem(QStringLiteral("(неизвестный столбец)"), QString());
        for (const QString &c : InventoryColumns())
            combo->addItem(c, c);
        const int at = combo->findData(remembered.value(FoldText(heading)));
        combo->setCurrentIndex(at < 0 ? 0 : at);
        connect(combo, &QComboBox::currentIndexChanged, this,
                [heading, combo] { rememberHeading(heading, combo->currentData().toString()); });
        grHeadings->setCellWidget(row, 1, combo);
    }
}

ImportOptions TImportDG::options() const {
    ImportOptions o;
    o.headings = rememberedHeadings();
    for (int r = 0; r < grHeadings->rowCount(); ++r) {
        const auto *combo = qobject_cast<QComboBox *>(grHeadings->cellWidget(r, 1));
        const QString column = combo ? combo->currentData().toString() : QString();
        if (!column.isEmpty())
            o.headings.insert(FoldText(grHeadings->item(r, 0)->text()), column);
    }
    return o;
}

void TImportDG::showResult(const ImportResult &r) {
    QString text = QStringLiteral("Строк с данными: %1\n").arg(r.rows);
    if (r.cancelled)
        text += QStringLiteral("Прервано; ничего не записано.\n");
    else if (r.errorCount > 0)
        text += QStringLiteral("Ошибок: %1; пока они есть, ничего не будет записано.\n\n%2\n")
                    .arg(r.errorCount)
                    .arg(r.errorText());
    else
        text += (r.written ? QStringLiteral("Записано.\n") : QStringLiteral("Ошибок нет. Будет:\n")) +
                r.summary();
    meResult->setPlainText(text);
    btImport->setEnabled(!r.written);
}

bool TImportDG::check() {
    readPreview();
    ImportOptions o = options();
    o.dryRun = true;
    Progress progress(this, QStringLiteral("Проверка строк..."));
    o.progress = progress.callback();
    const ImportResult r = ImportInventory(m_cn, m_path, o);
    showResult(r);
    return r.errorCount == 0 && !r.cancelled;
}

bool TImportDG::runImport() {
    ImportOptions o = options();
    Progress progress(this, QStringLiteral("Загрузка..."));
    o.progress = progress.callback();
    const ImportResult r = ImportInventory(m_cn, m_path, o);
    showResult(r);
    if (r.written) {
        m_imported = true;
        m_summary = r.summary();
    }
    return r.written;
}

bool RunInventoryImport(Connection &cn, QWidget *parent) {
    const QString path =
        QFileDialog::getOpenFileName(parent, QStringLiteral("Импорт"), QString(),
                                     QStringLiteral("Таблицы (*.csv *.xlsx *.txt);;Все файлы (*)"));
    if (path.isEmpty())
        return false;
    TImportDG dialog(cn, path, parent);
    dialog.check();
    RunModal(dialog);
    if (dialog.imported())
        ShowInformation(
            QStringLiteral("Таблица «%1» загружена.\n%2").arg(QFileInfo(path).fileName(), dialog.summary()));
    return dialog.imported();
}

void RunInventoryExport(Connection &cn, const QString &branch, const QString &caption, QWidget *parent) {
    QString path = QFileDialog::getSaveFileName(
        parent, branch.isEmpty() ? QStringLiteral("Экспорт") : QStringLiteral("Экспорт: %1").arg(caption),
        QStringLiteral("Инвентарь.xlsx"), QStringLiteral("Книга Excel (*.xlsx);;Таблица CSV (*.csv)"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive) &&
        !path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive))
        path += QStringLiteral(".xlsx");
    Progress progress(parent, QStringLiteral("Выгрузка..."));
    ExportOptions o;
    o.branch = branch;
    o.progress = progress.callback();
    const int rows = ExportInventory(cn, path, o);
    ShowInformation(
        QStringLiteral("В файл «%1» выгружено строк: %2.").arg(QFileInfo(path).fileName()).arg(rows));
}
