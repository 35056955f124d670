#include "dgBaseFind.h"

#include "DataControls.h"
#include "DataGrid.h"
#include "DataSet.h"
#include "Seams.h"
#include "TessalADO.h"
#include "TessalDialog.h"
#include "dgCommon.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString HistoryPath = QStringLiteral("edFind.<P>.Items");
}

TBASEFindDG::TBASEFindDG(Field *target, QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("BASEFindDG"));
    setWindowTitle(QStringLiteral("Поиск"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(12);
    setFont(f);
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

    grList = new DataGrid(this);
    grList->setObjectName(QStringLiteral("grList"));
    GridColumn name;
    name.field = QStringLiteral("Name");
    name.stretch = true;
    grList->setColumns({name});
    grList->horizontalHeader()->hide();
    grList->setShowGrid(true); // one column: the lines part the rows
    grList->setDataSet(taFind);

    btInsert = DialogButton(this, "btInsert", QStringLiteral("Добавить"));
    btInsert->hide();
    btBack = DialogButton(this, "btBack", QStringLiteral("Выбрать"));
    btBack->setEnabled(false);
    btExit = DialogButton(this, "btExit", QStringLiteral("Выход"));

    auto *root = new QVBoxLayout(this);
    root->addWidget(edFind);
    root->addWidget(grList, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btInsert);
    buttons->addStretch(1);
    buttons->addWidget(btBack);
    buttons->addWidget(btExit);
    root->addLayout(buttons);

    connect(btExit, &QPushButton::clicked, this, &QDialog::reject);
    connect(btBack, &QPushButton::clicked, this, [this] { Guarded([this] { btBackClick(); }); });
    connect(edFind, &QComboBox::editTextChanged, this, [this] {
        if (!m_updating)
            edFindChange();
    });

    setTargetField(target);
    m_loading = false;
}

TBASEFindDG::~TBASEFindDG() {}

void TBASEFindDG::onClick(QPushButton *button, std::function<void()> handler) {
    connect(button, &QPushButton::clicked, this, [handler = std::move(handler)] { Guarded(handler); });
}

void TBASEFindDG::setFindProcedure(const QString &procedure) {
    taFind->setCommand(procedure, CommandType::StoredProc);
}

void TBASEFindDG::setPlaceholder(const QString &text) {
    const QString shown = edFind->currentText();
    const bool empty = shown.isEmpty() || shown == m_placeholder;
    m_placeholder = text;
    edFind->setToolTip(text);
    if (empty) {
        setBoxText(text);
        setGrey(true);
    }
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
    const QString text = edFind->currentText();
    if (!m_placeholder.isEmpty() && text == m_placeholder)
        return QString();
    return text.trimmed();
}

QStringList TBASEFindDG::history() const {
    QStringList items;
    for (int i = 0; i < edFind->count(); ++i)
        items << edFind->itemText(i);
    return items;
}

void TBASEFindDG::RefreshFind() {
    OpenWithParams(*taFind, {TypedValue::Text(searchText())});
}

void TBASEFindDG::setBoxText(const QString &text) {
    const bool was = m_updating;
    m_updating = true;
    edFind->setEditText(text);
    m_updating = was;
}

void TBASEFindDG::setGrey(bool grey) {
    m_grey = grey;
    QLineEdit *le = edFind->lineEdit();
    QPalette p = le->palette();
    const QPalette base = edFind->palette();
    p.setColor(QPalette::Text, grey ? base.color(QPalette::PlaceholderText) : base.color(QPalette::Text));
    le->setPalette(p);
}

void TBASEFindDG::edFindChange() {
    if (m_loading)
        return;
    Guarded([this] { evaluate(); });
}

void TBASEFindDG::evaluate() {
    QString text = edFind->currentText();
    btBack->setEnabled(false); // stays so when the find fails
    if (!text.isEmpty() && text != m_placeholder) {
        const int at = m_placeholder.isEmpty() ? -1 : int(text.indexOf(m_placeholder));
        if (at >= 0) {
            // Typed into the grey placeholder: keep only what was typed.
            text.remove(at, m_placeholder.size());
            setBoxText(text);
            edFind->lineEdit()->setCursorPosition(int(text.size()));
        }
        setGrey(false);
        RefreshFind();
        btBack->setEnabled(HasRecords(*taFind));
    } else {
        setGrey(true);
        if (text != m_placeholder) {
            setBoxText(m_placeholder);
            edFind->lineEdit()->setCursorPosition(0);
        }
        RefreshFind(); // the empty text: everything
    }
}

void TBASEFindDG::FormShow() {
    loadHistory();
    edFind->setFocus();
    edFind->lineEdit()->deselect();
    edFind->lineEdit()->setCursorPosition(0);
    edFindChange();
}

bool TBASEFindDG::runFind(Field *target) {
    setTargetField(target);
    setResult(QDialog::Rejected);
    FormShow();
    return RunModal(*this) == QDialog::Accepted;
}

void TBASEFindDG::btBackClick() {
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
    Guarded([this] { saveHistory(); });
    QDialog::done(result);
}
