#include "dialogs/dgBaseFind.h"

#include "data/DataSet.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "dialogs/dgCommon.h"
#include "ui/DataControls.h"
#include "ui/DataGrid.h"
#include "ui/Fonts.h"
#include "ui/Seams.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const QString HistoryPath = QStringLiteral("edFind.<P>.Items");

bool isEnter(const QEvent *event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent *>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}
} // namespace

const QString TBASEFindDG::MoreFoundText =
    QStringLiteral("Найдено больше %1 строк, показаны первые %1: уточните текст поиска.");

TBASEFindDG::TBASEFindDG(Field *target, QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("BASEFindDG"));
    setWindowTitle(QStringLiteral("Поиск"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(NamedFont(QStringLiteral("Tahoma"), 12));
    setFixedSize(533, 369);

    // ID, Name and any further columns as the find procedure declares them.
    taFind = DialogDataSet(this, QStringLiteral("taFind"));
    taFind->setReadOnly(true);
    setFindProcedure(QStringLiteral("FindBase;1"));

    edFind = new QComboBox(this);
    edFind->setObjectName(QStringLiteral("edFind"));
    edFind->setEditable(true);
    edFind->setCompleter(nullptr);
    edFind->setInsertPolicy(QComboBox::NoInsert);
    edFind->setMaxVisibleItems(HistoryLines);
    edFind->lineEdit()->installEventFilter(this);

    tmFind = new QTimer(this);
    tmFind->setObjectName(QStringLiteral("tmFind"));
    tmFind->setSingleShot(true);
    tmFind->setInterval(TypingPauseMs);

    grList = new DataGrid(this);
    grList->setObjectName(QStringLiteral("grList"));
    GridColumn name;
    name.field = QStringLiteral("Name");
    name.stretch = true;
    grList->setColumns({name});
    grList->horizontalHeader()->hide();
    grList->setShowGrid(true); // one column: the lines part the rows
    grList->setDataSet(taFind);
    grList->installEventFilter(this);

    laMore = new QLabel(MoreFoundText.arg(FindRowLimit), this);
    laMore->setObjectName(QStringLiteral("laMore"));
    laMore->hide();

    btInsert = DialogButton(this, "btInsert", QStringLiteral("Добавить"));
    btInsert->hide();
    btBack = DialogButton(this, "btBack", QStringLiteral("Выбрать"));
    btBack->setEnabled(false);
    btExit = DialogButton(this, "btExit", QStringLiteral("Выход"));

    auto *root = new QVBoxLayout(this);
    root->addWidget(edFind);
    root->addWidget(grList, 1);
    root->addWidget(laMore);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btInsert);
    buttons->addStretch(1);
    buttons->addWidget(btBack);
    buttons->addWidget(btExit);
    root->addLayout(buttons);

    connect(btExit, &QPushButton::clicked, this, &QDialog::reject);
    connect(btBack, &QPushButton::clicked, this, [this] { Guarded([this] { btBackClick(); }); });
    connect(grList, &DataGrid::rowDoubleClicked, this, &TBASEFindDG::choose);
    connect(edFind, &QComboBox::editTextChanged, this, [this] {
        if (!m_updating)
            edFindChange();
    });
    connect(tmFind, &QTimer::timeout, this, &TBASEFindDG::search);

    setTargetField(target);
}

TBASEFindDG::~TBASEFindDG() {}

void TBASEFindDG::onClick(QPushButton *button, std::function<void()> handler) {
    connect(button, &QPushButton::clicked, this, [handler = std::move(handler)] { Guarded(handler); });
}

void TBASEFindDG::setFindProcedure(const QString &procedure) {
    taFind->setCommand(procedure, CommandType::StoredProc);
}

void TBASEFindDG::setPlaceholder(const QString &text) {
    edFind->lineEdit()->setPlaceholderText(text);
    edFind->setToolTip(text);
}

QString TBASEFindDG::placeholder() const {
    return edFind->lineEdit()->placeholderText();
}

void TBASEFindDG::setTargetField(Field *field) {
    m_targetDataSet = field ? field->dataSet() : nullptr;
    m_targetName = field ? field->name() : QString();
}

Field *TBASEFindDG::targetField() const {
    if (!m_targetDataSet || m_targetName.isEmpty())
        return nullptr;
    return m_targetDataSet->findField(m_targetName);
}

QString TBASEFindDG::searchText() const {
    return edFind->currentText().trimmed();
}

QStringList TBASEFindDG::history() const {
    QStringList items;
    for (int i = 0; i < edFind->count(); ++i)
        items << edFind->itemText(i);
    return items;
}

void TBASEFindDG::RefreshFind() {
    tmFind->stop();
    laMore->hide();
    btBack->setEnabled(false); // stays so when the find fails
    const QString text = searchText();
    if (text.isEmpty())
        taFind->close();
    else
        OpenWithParams(*taFind, {TypedValue::Text(text)});
    // The row past the limit only says that there are more.
    const bool more = taFind->recordCount() > FindRowLimit;
    for (int row = FindRowLimit; row < taFind->recordCount(); ++row)
        grList->setRowHidden(row, true);
    laMore->setVisible(more);
    if (more && taFind->recNo() >= FindRowLimit)
        taFind->setRecNo(FindRowLimit - 1);
    btBack->setEnabled(HasRecords(*taFind));
}

bool TBASEFindDG::findPending() const {
    return tmFind->isActive();
}

void TBASEFindDG::flushFind() {
    if (findPending())
        search();
}

void TBASEFindDG::search() {
    Guarded([this] { RefreshFind(); });
}

void TBASEFindDG::edFindChange() {
    if (searchText().isEmpty())
        search(); // at once: nothing to wait for, nothing to call
    else
        tmFind->start();
}

bool TBASEFindDG::eventFilter(QObject *watched, QEvent *event) {
    if (isEnter(event)) {
        if (watched == grList) {
            choose();
            return true;
        }
        if (watched == edFind->lineEdit()) {
            // Enter runs the search typed so far; on a list already found it chooses.
            if (findPending())
                flushFind();
            else
                choose();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TBASEFindDG::choose() {
    if (btBack->isEnabled())
        btBack->click();
}

void TBASEFindDG::FormShow() {
    loadHistory();
    edFind->setFocus();
    edFind->lineEdit()->deselect();
    edFind->lineEdit()->setCursorPosition(0);
    search();
}

bool TBASEFindDG::runFind(Field *target) {
    setTargetField(target);
    setResult(QDialog::Rejected);
    FormShow();
    return RunModal(*this) == QDialog::Accepted;
}

void TBASEFindDG::btBackClick() {
    flushFind();
    if (!HasRecords(*taFind))
        return; // nothing found, nothing to choose
    const QString text = searchText();
    if (!text.isEmpty() && edFind->findText(text, Qt::MatchFixedString) < 0) {
        const QString shown = edFind->currentText();
        const bool was = m_updating;
        m_updating = true;
        edFind->addItem(text);
        while (edFind->count() > HistoryLines)
            edFind->removeItem(0);
        edFind->setEditText(shown);
        m_updating = was;
    }
    if (Field *target = targetField())
        SetFieldValue(*target, taFind->fieldByName(QStringLiteral("ID"))->asInt());
    accept();
}

void TBASEFindDG::loadHistory() {
    QStringList items = storFind.read(HistoryPath).toStringList();
    if (items.size() > HistoryLines)
        items = items.mid(items.size() - HistoryLines);
    const QString shown = edFind->currentText();
    const bool was = m_updating;
    m_updating = true;
    edFind->clear();
    edFind->addItems(items);
    edFind->setCurrentIndex(-1);
    edFind->setEditText(shown);
    m_updating = was;
}

void TBASEFindDG::saveHistory() {
    storFind.write(HistoryPath, history());
}

void TBASEFindDG::setVisual(bool visual) {
    m_visual.set(visual, m_targetDataSet);
}

void TBASEFindDG::done(int result) {
    tmFind->stop();
    Guarded([this] { saveHistory(); });
    QDialog::done(result);
}
