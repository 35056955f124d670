#include "dialogs/dgBaseEdit.h"

#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/SchemaInfo.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "dialogs/dgCommon.h"
#include "ui/DataControls.h"
#include "ui/Fonts.h"
#include "ui/Seams.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TBaseEditDG::TBaseEditDG(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("BaseEditDG"));
    // Fixed border with the close box only; QDialog centres itself on the screen when shown
    // without a parent.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(NamedFont(QStringLiteral("Tahoma"), 12));

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
    // The record goes while its controls are whole: they clear themselves when it goes.
    delete taData;
}

void TBaseEditDG::setVisual(bool visual) {
    if (m_visual.set(visual, taData))
        dsDataDataChange();
}

void TBaseEditDG::dsDataDataChange() {
    btSave->setEnabled(taData->isEditing());
}

const QString TBaseEditDG::ChangedMessage =
    QStringLiteral("Запись изменил другой пользователь. Его изменения прочитаны, ваши остались в окне: "
                   "проверьте их и нажмите «Записать» ещё раз или «Отменить»");
const QString TBaseEditDG::RemovedMessage = QStringLiteral(
    "Запись удалил другой пользователь: её больше нет, записать изменения нельзя. Нажмите «Отменить»");
const QString TBaseEditDG::ParentGoneMessage =
    QStringLiteral("Выбранное значение поля «%1» больше не существует: его удалили на другом рабочем месте. "
                   "Выберите другое и нажмите «Записать» ещё раз");

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

std::optional<int> TBaseEditDG::runEditKey(int key, const QString &keyField,
                                           const std::function<void(DataSet &)> &presetNew) {
    if (!runEdit(key, presetNew))
        return std::nullopt;
    return taData->value(keyField).toInt();
}

bool TBaseEditDG::runEdit(int key, const std::function<void(DataSet &)> &presetNew) {
    m_key = key;
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
    try {
        btSaveClick();
    } catch (const AppError &e) {
        // A concrete save handler that failed before (or instead of) the base save.
        ShowException(e.message());
    } catch (const std::exception &e) {
        ShowException(QString::fromLocal8Bit(e.what()));
    }
}

void TBaseEditDG::btSaveClick() {
    // A date typed and not yet taken goes into the record first (and may start its editing).
    if (!datesAreDates())
        return;
    if (taData->isEditing()) {
        // The values as typed: a save that fails gives them back (blanks around a name included).
        QVector<std::pair<QString, QVariant>> typed;
        for (int i = 0; i < taData->fieldCount(); ++i)
            if (const Field *f = taData->field(i); !f->isReadOnly())
                typed.push_back({f->name(), f->value()});
        try {
            if (!rulesPass())
                return;
            prepareValues();
            postData();
        } catch (const AppError &e) {
            const QString message = failureText(e);
            restoreTyped(typed);
            ShowException(message);
            return;
        } catch (const std::exception &e) {
            restoreTyped(typed);
            ShowException(QString::fromLocal8Bit(e.what()));
            return;
        }
    }
    accept();
}

void TBaseEditDG::postData() {
    taData->post();
}

// Puts back the names and empty texts as they were typed, after prepareValues changed them for a
// save that failed. A field another workstation's change brought in (takeOtherChanges) keeps it.
void TBaseEditDG::restoreTyped(const QVector<std::pair<QString, QVariant>> &typed) {
    if (!taData->isEditing())
        return;
    for (const auto &[name, value] : typed) {
        Field *f = taData->findField(name);
        if (!f || f->isReadOnly())
            continue;
        const QVariant now = f->value();
        const bool prepared = now.isNull() ? value.toString().isEmpty() && !value.isNull()
                                           : now.toString() == value.toString().trimmed();
        if (prepared && (now.isNull() != value.isNull() || now != value))
            f->setValue(value);
    }
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

// Why the database refused the record, in the user's words; after a change by another
// workstation its changes are read in as well.
QString TBaseEditDG::failureText(const AppError &error) {
    try {
        if (dynamic_cast<const ConflictError *>(&error)) {
            if (!recordExists())
                return RemovedMessage;
            takeOtherChanges();
            return ChangedMessage;
        }
        if (dynamic_cast<const DatabaseError *>(&error))
            if (const QString gone = goneParent(); !gone.isEmpty())
                return ParentGoneMessage.arg(gone);
    } catch (const AppError &) {
        // the database cannot tell more now (busy, gone): its first answer stands
    }
    return error.message();
}

bool TBaseEditDG::recordExists() {
    const TableInfo *own = SchemaInfo::instance().table(taData->updateTable());
    if (!own || own->key.isEmpty() || !taData->findField(own->key))
        return true;
    return taData->connection()
               ->scalar(QStringLiteral("SELECT count(*) FROM [%1] WHERE [%2] = :K").arg(own->name, own->key),
                        {{QStringLiteral("K"), taData->value(own->key)}})
               .toInt() > 0;
}

// Reads the record again as another workstation left it and puts back what the user changed, so
// that the next save writes the user's changes over the new state and keeps the others.
void TBaseEditDG::takeOtherChanges() {
    QVector<std::pair<QString, QVariant>> typed;
    for (int i = 0; i < taData->fieldCount(); ++i)
        if (const Field *f = taData->field(i); !f->isReadOnly())
            typed.push_back({f->name(), f->value()});
    taData->cancel();
    QHash<QString, QVariant> read;
    for (const auto &[name, value] : std::as_const(typed))
        read.insert(name, taData->value(name));
    OpenWithParams(*taData, {TypedValue::Int(m_key)});
    if (taData->isEmpty())
        return;
    taData->edit();
    for (const auto &[name, value] : std::as_const(typed)) {
        const QVariant was = read.value(name);
        if (value.isNull() != was.isNull() || value != was)
            taData->fieldByName(name)->setValue(value);
    }
}

// The caption of a field whose chosen record another workstation has removed, empty when every
// chosen record is there.
QString TBaseEditDG::goneParent() const {
    const SchemaInfo &schema = SchemaInfo::instance();
    const TableInfo *own = schema.table(taData->updateTable());
    if (!own)
        return QString();
    for (int i = 0; i < taData->fieldCount(); ++i) {
        const Field *f = taData->field(i);
        const ColumnInfo *c = own->column(f->name());
        const TableInfo *parent = c && !c->references.isEmpty() ? schema.table(c->references) : nullptr;
        if (!parent || parent->key.isEmpty() || f->isNull())
            continue;
        const QVariant count = taData->connection()->scalar(
            QStringLiteral("SELECT count(*) FROM [%1] WHERE [%2] = :K").arg(parent->name, parent->key),
            {{QStringLiteral("K"), f->value()}});
        if (count.toInt() == 0)
            return fieldCaption(f->name());
    }
    return QString();
}

void TBaseEditDG::btCancelClick() {
    taData->cancel();
    QDialog::reject();
}

void TBaseEditDG::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    // What the user sees first is the record unchanged, whichever Run prepared it (a window
    // system's show, after the window was minimised, is no new start).
    if (!event->spontaneous())
        m_opened = currentValues();
}

QVector<QVariant> TBaseEditDG::currentValues() const {
    QVector<QVariant> values;
    // A new record of an empty list is no row yet, but it has values all the same.
    if (!taData->isActive() || (taData->isEmpty() && !taData->isEditing()))
        return values;
    values.reserve(taData->fieldCount());
    for (int i = 0; i < taData->fieldCount(); ++i)
        values << taData->field(i)->value();
    return values;
}

bool TBaseEditDG::hasChanges() const {
    // A date typed but not yet taken counts as a change, even a date that is no date.
    for (const DBDateEdit *box : findChildren<DBDateEdit *>())
        if (box->isVisible() && box->hasUntakenText())
            return true;
    if (!taData->isEditing())
        return false;
    const QVector<QVariant> now = currentValues();
    if (now.size() != m_opened.size())
        return true;
    for (int i = 0; i < now.size(); ++i)
        if (now[i].isNull() != m_opened[i].isNull() || now[i] != m_opened[i])
            return true;
    return false;
}

void TBaseEditDG::reject() {
    if (!isVisible() || !hasChanges()) {
        QDialog::reject();
        return;
    }
    switch (AskSaveChanges(this)) {
    case SaveChangesAnswer::Save:
        saveClicked(); // a save that fails keeps the dialog open with what was typed
        break;
    case SaveChangesAnswer::Discard:
        btCancelClick();
        break;
    case SaveChangesAnswer::GoBack:
        break;
    }
}

// A date typed and not yet taken is taken. A date box holding a text that is no date refuses the
// save; its own message was shown when the text was left, so only a text it has not refused yet
// gets the message here.
bool TBaseEditDG::datesAreDates() {
    for (DBDateEdit *box : findChildren<DBDateEdit *>()) {
        if (!box->isVisible())
            continue;
        if (!box->holdsNonDate()) {
            if (box->hasUntakenText())
                box->take();
            continue;
        }
        if (!box->refusedShown())
            box->refuse();
        box->setFocus();
        box->selectAll();
        return false;
    }
    return true;
}

// Enter in a single-line box saves, as in any desktop dialog; a multi-line box keeps Enter for its
// lines and an open list for its choice (both take the key before it gets here).
void TBaseEditDG::keyPressEvent(QKeyEvent *event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        QWidget *focus = focusWidget();
        const bool singleLine = qobject_cast<QLineEdit *>(focus) || qobject_cast<QComboBox *>(focus) ||
                                (focus && qobject_cast<QComboBox *>(focus->parentWidget()));
        if (singleLine && !QApplication::activePopupWidget()) {
            if (btSave->isEnabled())
                saveClicked();
            event->accept();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}
