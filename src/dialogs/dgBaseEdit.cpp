#include "dgBaseEdit.h"

#include "DataControls.h"
#include "DataSet.h"
#include "Errors.h"
#include "Seams.h"
#include "TessalADO.h"
#include "TessalDialog.h"
#include "dgCommon.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TBaseEditDG::TBaseEditDG(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("BaseEditDG"));
    // Fixed border with the close box only; QDialog centres itself on the screen when shown
    // without a parent.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(12);
    setFont(f);

    taData = DialogDataSet(this, QStringLiteral("taData"));

    btSave = new QPushButton(QStringLiteral("Записать"), this);
    btSave->setObjectName(QStringLiteral("btSave"));
    btSave->setFixedSize(92, 30);
    btSave->setEnabled(false);
    btCancel = new QPushButton(QStringLiteral("Отменить"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    btCancel->setFixedSize(89, 30);
    // Enter in a text box must not save or cancel behind the user's back.
    for (QPushButton *b : {btSave, btCancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    auto *root = new QVBoxLayout(this);
    root->setSizeConstraint(QLayout::SetFixedSize); // the size the concrete controls need, fixed
    m_content = new QVBoxLayout;
    root->addLayout(m_content);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btSave);
    buttons->addWidget(btCancel);
    root->addLayout(buttons);

    connect(btSave, &QPushButton::clicked, this, &TBaseEditDG::saveClicked);
    connect(btCancel, &QPushButton::clicked, this, &TBaseEditDG::btCancelClick);
    connect(taData, &DataSet::stateChanged, this, &TBaseEditDG::dsDataDataChange);
    connect(taData, &DataSet::dataChanged, this, &TBaseEditDG::dsDataDataChange);
    connect(taData, &DataSet::scrolled, this, &TBaseEditDG::dsDataDataChange);
    connect(taData, &DataSet::fieldChanged, this, &TBaseEditDG::dsDataDataChange);
}

TBaseEditDG::~TBaseEditDG() {
    if (!m_visual.value())
        taData->enableControls();
}

void TBaseEditDG::setVisual(bool visual) {
    if (m_visual.set(visual, taData))
        dsDataDataChange();
}

void TBaseEditDG::dsDataDataChange() {
    btSave->setEnabled(taData->isEditing());
}

bool TBaseEditDG::runEdit(int key, const std::function<void(DataSet &)> &presetNew) {
    OpenWithParams(*taData, {TypedValue::Int(key)});
    if (taData->isEmpty()) {
        taData->append();
        if (presetNew)
            presetNew(*taData);
    }
    dsDataDataChange();
    setResult(QDialog::Rejected);
    return RunModal(*this) == QDialog::Accepted;
}

void TBaseEditDG::saveClicked() {
    m_saveFailed = false;
    try {
        btSaveClick();
    } catch (const AppError &e) {
        // A concrete save handler that failed before (or instead of) the base save.
        failSave(e.message());
    } catch (const std::exception &e) {
        failSave(QString::fromLocal8Bit(e.what()));
    }
}

void TBaseEditDG::btSaveClick() {
    m_saveFailed = false;
    try {
        if (taData->isEditing()) {
            if (!rulesPass())
                return;
            prepareValues();
        }
        taData->post();
    } catch (const AppError &e) {
        failSave(e.message());
        return;
    } catch (const std::exception &e) {
        failSave(QString::fromLocal8Bit(e.what()));
        return;
    }
    accept();
}

void TBaseEditDG::failSave(const QString &message) {
    if (m_saveFailed)
        return;
    m_saveFailed = true;
    try {
        taData->cancel();
    } catch (...) {
        // the record is dropped either way; the message below says why the save failed
    }
    reject();
    ShowException(message);
}

void TBaseEditDG::btCancelClick() {
    taData->cancel();
    reject();
}

QLabel *TBaseEditDG::caption(const QString &text, QWidget *control) {
    auto *label = new QLabel(text, this);
    label->setBuddy(control);
    return label;
}

QString TBaseEditDG::fieldCaption(const QString &field) const {
    for (const QLabel *label : findChildren<QLabel *>()) {
        const FieldLink *link = FieldLinkOf(label->buddy());
        if (!link || link->fieldName().compare(field, Qt::CaseInsensitive) != 0)
            continue;
        QString text = label->text().remove(u'&').trimmed();
        if (text.endsWith(u':'))
            text.chop(1);
        return text;
    }
    return field;
}

void TBaseEditDG::requireName(const QString &field, QWidget *control, const QString &message) {
    m_names << field;
    addRule(
        [this, field] {
            const Field *f = taData->findField(field);
            return !f || !f->asString().trimmed().isEmpty();
        },
        message, control);
}

void TBaseEditDG::addRule(std::function<bool()> passes, const QString &message, QWidget *control) {
    m_rules.push_back({std::move(passes), message, control});
}

bool TBaseEditDG::rulesPass() {
    for (const Rule &rule : std::as_const(m_rules)) {
        if (rule.passes())
            continue;
        ShowError(rule.message);
        if (rule.control)
            rule.control->setFocus();
        return false;
    }
    return true;
}

void TBaseEditDG::prepareValues() {
    for (const QString &name : std::as_const(m_names)) {
        Field *f = taData->findField(name);
        if (f && !f->isReadOnly() && !f->isNull() && f->asString() != f->asString().trimmed())
            f->setValue(f->asString().trimmed());
    }
    for (int i = 0; i < taData->fieldCount(); ++i) {
        Field *f = taData->field(i);
        const FieldType t = f->type();
        const bool text = t == FieldType::String || t == FieldType::FixedChar || t == FieldType::Memo;
        if (text && !f->isReadOnly() && !f->isNull() && f->value().toString().isEmpty())
            f->clear();
    }
}
