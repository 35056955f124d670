#include "ui/DataControls.h"

#include "data/DataSet.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "ui/DataGrid.h"

#include <QAction>
#include <QCalendarWidget>
#include <QCompleter>
#include <QFrame>
#include <QKeyEvent>
#include <QRegularExpressionValidator>
#include <QSet>
#include <QStyle>
#include <QTextCursor>
#include <QVBoxLayout>

#include <limits>

namespace {

QSet<FieldLink *> &allLinks() {
    static QSet<FieldLink *> links;
    return links;
}

bool isText(FieldType t) {
    return t == FieldType::String || t == FieldType::FixedChar || t == FieldType::Memo;
}

bool isInteger(FieldType t) {
    return t == FieldType::Integer || t == FieldType::SmallInt || t == FieldType::BigInt;
}

bool isDecimal(FieldType t) {
    return t == FieldType::Float || t == FieldType::Money;
}

// Keys of a lookup list and of the field may arrive as different integer types, or as text.
bool sameKey(const QVariant &a, const QVariant &b) {
    if (a.isNull() || b.isNull())
        return false;
    bool okA = false, okB = false;
    const qlonglong x = a.toLongLong(&okA), y = b.toLongLong(&okB);
    if (okA && okB)
        return x == y;
    return a.toString() == b.toString();
}

QDate parseDate(const QString &text) {
    for (const char *format : {"dd.MM.yyyy", "d.M.yyyy"}) {
        const QDate d = QDate::fromString(text, QString::fromLatin1(format));
        if (d.isValid())
            return d;
    }
    return {};
}

// What a field shows in a one-line text box.
QString editText(const Field &f) {
    if (f.type() == FieldType::DateTime)
        return f.displayText();
    QString s = f.asString();
    if (f.type() == FieldType::Money) {
        // "5400.5000" is edited as "5400,50": the decimal comma, the cents, and further decimals
        // only where the amount has them.
        const qsizetype point = s.indexOf(u'.');
        if (point >= 0) {
            while (s.size() > point + 3 && s.endsWith(u'0'))
                s.chop(1);
            s[point] = u',';
        }
    }
    return s;
}

// Makes a text box read-only while its field cannot be written; undoes only what it did itself, so
// a box its dialog made read-only stays so.
template <class Box> void lockBox(Box *box, bool &locked, bool lock) {
    if (lock && !box->isReadOnly()) {
        box->setReadOnly(true);
        locked = true;
    } else if (!lock && locked) {
        box->setReadOnly(false);
        locked = false;
    }
}

// Whole numbers within the range of the field's type; a keystroke that would leave it is refused
// (QIntValidator lets such a text through as "intermediate").
class RangeValidator : public QValidator {
public:
    RangeValidator(qlonglong min, qlonglong max, QObject *parent)
        : QValidator(parent), m_min(min), m_max(max) {}
    State validate(QString &input, int &) const override {
        if (input.isEmpty() || input == QStringLiteral("-"))
            return m_min < 0 || input.isEmpty() ? Intermediate : Invalid;
        static const QRegularExpression number(QStringLiteral("^-?\\d{1,19}$"));
        if (!number.match(input).hasMatch())
            return Invalid;
        bool ok = false;
        const qlonglong v = input.toLongLong(&ok);
        return ok && v >= m_min && v <= m_max ? Acceptable : Invalid;
    }

private:
    qlonglong m_min, m_max;
};

// An editable combo box reads its item texts in the edit role; the list shows the same texts.
class LookupListModel : public DataSetModel {
public:
    using DataSetModel::DataSetModel;
    QVariant data(const QModelIndex &index, int role) const override {
        return DataSetModel::data(index, role == Qt::EditRole ? int(Qt::DisplayRole) : role);
    }
};

} // namespace

// ---------------------------------------------------------------------------------------------
// FieldLink

FieldLink::FieldLink(QObject *owner, std::function<void()> refresh)
    : m_owner(owner), m_refresh(std::move(refresh)) {
    allLinks().insert(this);
}

const FieldLink *FieldLinkOf(const QObject *control) {
    if (!control)
        return nullptr;
    for (const FieldLink *link : std::as_const(allLinks()))
        if (link->owner() == control)
            return link;
    return nullptr;
}

FieldLink::~FieldLink() {
    allLinks().remove(this);
}

void FieldLink::bind(DataSet *dataSet, const QString &fieldName) {
    for (const auto &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    m_dataSet = dataSet;
    m_fieldName = fieldName;
    if (dataSet) {
        m_connections << connect(dataSet, &DataSet::stateChanged, this, &FieldLink::refresh)
                      << connect(dataSet, &DataSet::dataChanged, this, &FieldLink::refresh)
                      << connect(dataSet, &DataSet::scrolled, this, &FieldLink::refresh)
                      << connect(dataSet, &DataSet::fieldChanged, this,
                                 [this](Field *f) {
                                     if (!f || f->name().compare(m_fieldName, Qt::CaseInsensitive) == 0)
                                         refresh();
                                 })
                      << connect(dataSet, &QObject::destroyed, this, [this] {
                             m_dataSet = nullptr;
                             refresh();
                         });
    }
    refresh();
}

Field *FieldLink::field() const {
    if (!m_dataSet || !m_dataSet->isActive() || m_fieldName.isEmpty())
        return nullptr;
    return m_dataSet->findField(m_fieldName);
}

bool FieldLink::writable() const {
    const Field *f = field();
    return f && !f->isReadOnly() && !m_dataSet->isReadOnly() &&
           (m_dataSet->isEditing() || m_dataSet->recNo() >= 0);
}

bool FieldLink::write(const QVariant &value) {
    Field *f = field();
    if (!f) {
        refresh();
        return false;
    }
    m_writing = true;
    const bool ok = Guarded([&] {
        if (value.isNull() || !value.isValid()) {
            if (f->isNull())
                return;
            EnsureEditing(*f->dataSet());
            f->clear();
        } else {
            SetFieldValue(*f, value);
        }
    });
    m_writing = false;
    if (!ok)
        refresh();
    return ok;
}

void FieldLink::refresh() {
    if (!m_writing && m_refresh)
        m_refresh();
}

void RefreshDataControls(const DataSet *dataSet) {
    if (!dataSet)
        return;
    // A refresh may create or destroy controls; walk a copy and skip those gone meanwhile.
    const QSet<FieldLink *> links = allLinks();
    for (FieldLink *link : links)
        if (allLinks().contains(link) && link->dataSet() == dataSet)
            link->refresh();
}

// ---------------------------------------------------------------------------------------------
// DBEdit

DBEdit::DBEdit(QWidget *parent) : QLineEdit(parent), m_link(this, [this] { refresh(); }) {
    connect(this, &QLineEdit::textEdited, this, &DBEdit::edited);
    // An amount typed "4500.50" is shown as every amount is ("4500,50") once the box is left.
    connect(this, &QLineEdit::editingFinished, this, [this] {
        if (const Field *f = m_link.field(); f && isDecimal(f->type()))
            refresh();
    });
    refresh();
}

DBEdit::DBEdit(DataSet *dataSet, const QString &field, QWidget *parent) : DBEdit(parent) {
    bind(dataSet, field);
}

void DBEdit::refresh() {
    const Field *f = m_link.field();
    const int type = f ? int(f->type()) : -1;
    if (type != m_shownType) {
        m_shownType = type;
        if (validator() == m_validator.data()) {
            QValidator *v = nullptr;
            if (f && f->type() == FieldType::SmallInt)
                v = new RangeValidator(-32768, 32767, this);
            else if (f && f->type() == FieldType::Integer)
                v = new RangeValidator(std::numeric_limits<int>::min(), std::numeric_limits<int>::max(),
                                       this);
            else if (f && f->type() == FieldType::BigInt)
                v = new RangeValidator(std::numeric_limits<qlonglong>::min(),
                                       std::numeric_limits<qlonglong>::max(), this);
            else if (f && f->type() == FieldType::Money)
                v = new QRegularExpressionValidator(
                    QRegularExpression(QStringLiteral("-?\\d{0,15}([.,]\\d{0,4})?")), this);
            else if (f && f->type() == FieldType::Float)
                v = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?\\d*([.,]\\d*)?")),
                                                    this);
            setValidator(v);
            delete m_validator.data();
            m_validator = v;
        }
    }
    // Never more characters than the field holds. Setting the length lays the text out again even
    // when it stays, which costs more than the rest of a refresh: only a change is set.
    const int length = f && isText(f->type()) && f->size() > 0 ? f->size() : 32767;
    if (length != maxLength())
        setMaxLength(length);
    const QString shown = f ? editText(*f) : QString();
    if (shown != text())
        setText(shown);
    lockBox(this, m_locked, !m_link.writable());
}

void DBEdit::edited(const QString &text) {
    const Field *f = m_link.field();
    if (!f)
        return;
    const FieldType t = f->type();
    QVariant value;
    if (isText(t)) {
        value = text; // the empty text too; the save of the dialog decides about Null
    } else if (text.isEmpty()) {
        value = QVariant();
    } else if (isInteger(t)) {
        bool ok = false;
        const qlonglong n = text.toLongLong(&ok);
        if (!ok)
            return; // "-" on the way to a number
        value = t == FieldType::BigInt ? QVariant(n) : QVariant(int(n));
    } else if (isDecimal(t)) {
        QString s = text;
        s.replace(u',', u'.');
        bool ok = false;
        s.toDouble(&ok);
        if (!ok)
            return;
        value = t == FieldType::Money ? QVariant(s) : QVariant(s.toDouble());
    } else if (t == FieldType::DateTime) {
        const QDate d = parseDate(text);
        if (!d.isValid())
            return;
        value = QDateTime(d, QTime(0, 0));
    } else {
        value = text;
    }
    m_link.write(value);
}

// ---------------------------------------------------------------------------------------------
// DBMemo

DBMemo::DBMemo(QWidget *parent) : QPlainTextEdit(parent), m_link(this, [this] { refresh(); }) {
    connect(this, &QPlainTextEdit::textChanged, this, &DBMemo::edited);
    refresh();
}

DBMemo::DBMemo(DataSet *dataSet, const QString &field, QWidget *parent) : DBMemo(parent) {
    bind(dataSet, field);
}

void DBMemo::refresh() {
    const Field *f = m_link.field();
    const QString shown = f ? f->asString() : QString();
    if (shown != toPlainText()) {
        m_showing = true;
        setPlainText(shown);
        m_showing = false;
    }
    lockBox(this, m_locked, !m_link.writable());
}

void DBMemo::edited() {
    if (m_showing)
        return;
    const Field *f = m_link.field();
    if (!f)
        return;
    QString text = toPlainText();
    const int size = isText(f->type()) ? f->size() : 0;
    if (size > 0 && text.size() > size) {
        // Drop what does not fit: the characters just typed or pasted before the caret, and
        // from the end if that is not enough.
        int excess = int(text.size()) - size;
        QTextCursor c = textCursor();
        const int caret = c.position();
        const int before = std::min(excess, caret);
        m_showing = true;
        c.setPosition(caret - before);
        c.setPosition(caret, QTextCursor::KeepAnchor);
        c.removeSelectedText();
        excess -= before;
        if (excess > 0) {
            c.movePosition(QTextCursor::End);
            c.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor, excess);
            c.removeSelectedText();
        }
        m_showing = false;
        text = toPlainText();
    }
    m_link.write(text);
}

// ---------------------------------------------------------------------------------------------
// DBCheckBox

DBCheckBox::DBCheckBox(QWidget *parent) : QCheckBox(parent), m_link(this, [this] { refresh(); }) {
    // Only the user's clicks are written; showing a value (setChecked) is not a click.
    connect(this, &QAbstractButton::clicked, this, [this](bool checked) { m_link.write(checked); });
    refresh();
}

DBCheckBox::DBCheckBox(DataSet *dataSet, const QString &field, QWidget *parent) : DBCheckBox(parent) {
    bind(dataSet, field);
}

DBCheckBox::DBCheckBox(DataSet *dataSet, const QString &field, const QString &text, QWidget *parent)
    : DBCheckBox(parent) {
    setText(text);
    bind(dataSet, field);
}

void DBCheckBox::refresh() {
    const Field *f = m_link.field();
    setChecked(f && !f->isNull() && f->asBool());
}

// ---------------------------------------------------------------------------------------------
// DBDateEdit

DBDateEdit::DBDateEdit(QWidget *parent) : QLineEdit(parent), m_link(this, [this] { refresh(); }) {
    setPlaceholderText(QStringLiteral("—"));
    setClearButtonEnabled(true);
    setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9.]{0,10}")), this));
    QAction *pick = addAction(style()->standardIcon(QStyle::SP_ArrowDown), QLineEdit::TrailingPosition);
    pick->setObjectName(QStringLiteral("acCalendar"));
    connect(pick, &QAction::triggered, this, &DBDateEdit::showCalendar);

    m_popup = new QFrame(this, Qt::Popup);
    m_popup->setFrameShape(QFrame::StyledPanel);
    m_calendar = new QCalendarWidget(m_popup);
    m_calendar->setObjectName(QStringLiteral("calendar"));
    m_calendar->setGridVisible(true);
    auto *layout = new QVBoxLayout(m_popup);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_calendar);
    auto picked = [this](const QDate &d) {
        m_popup->hide();
        setDate(d);
    };
    connect(m_calendar, &QCalendarWidget::clicked, this, picked);
    connect(m_calendar, &QCalendarWidget::activated, this, picked);

    connect(this, &QLineEdit::editingFinished, this, &DBDateEdit::finished);
    // The clear button, or the last character deleted: the field becomes Null at once.
    connect(this, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (text.isEmpty())
            setDate(QDate());
    });
    refresh();
}

DBDateEdit::DBDateEdit(DataSet *dataSet, const QString &field, QWidget *parent) : DBDateEdit(parent) {
    bind(dataSet, field);
}

QDate DBDateEdit::date() const {
    const Field *f = m_link.field();
    if (!f || f->isNull())
        return {};
    return f->value().toDateTime().date();
}

void DBDateEdit::setDate(const QDate &date) {
    const Field *f = m_link.field();
    if (f && date.isValid() && !f->isNull() && f->value().toDateTime().date() == date) {
        refresh(); // the same day, maybe typed differently: shown again in the one format
        return;
    }
    if (m_link.write(date.isValid() ? QVariant(QDateTime(date, QTime(0, 0))) : QVariant()))
        refresh();
}

void DBDateEdit::showCalendar() {
    if (!m_link.writable())
        return;
    m_calendar->setSelectedDate(date().isValid() ? date() : QDate::currentDate());
    m_popup->adjustSize();
    m_popup->move(mapToGlobal(rect().bottomLeft()));
    m_popup->show();
    m_calendar->setFocus();
}

void DBDateEdit::refresh() {
    const QDate d = date();
    const QString shown = d.isValid() ? d.toString(QString::fromLatin1(Format)) : QString();
    if (shown != text())
        setText(shown);
    lockBox(this, m_locked, !m_link.writable());
    for (QAction *a : actions())
        a->setEnabled(!isReadOnly());
}

void DBDateEdit::finished() {
    if (isReadOnly())
        return;
    const QString t = text().trimmed();
    if (t.isEmpty()) {
        setDate(QDate());
        return;
    }
    const QDate d = parseDate(t);
    if (d.isValid()) {
        setDate(d);
        return;
    }
    // Not a date: said once for this text, which stays in the box to be corrected.
    if (!m_refusing && !refusedShown()) {
        m_refusing = true;
        refuse();
        m_refusing = false;
    }
}

bool DBDateEdit::holdsNonDate() const {
    const QString t = text().trimmed();
    return !t.isEmpty() && !parseDate(t).isValid();
}

bool DBDateEdit::hasUntakenText() const {
    const QDate d = date();
    return text().trimmed() != (d.isValid() ? d.toString(QString::fromLatin1(Format)) : QString());
}

void DBDateEdit::refuse() {
    m_refused = text();
    ShowError(QStringLiteral("«%1» — не дата. Введите дату в виде ДД.ММ.ГГГГ, например 25.05.2025.")
                  .arg(text().trimmed()));
}

// ---------------------------------------------------------------------------------------------
// DBLookupCombo

DBLookupCombo::DBLookupCombo(QWidget *parent)
    : QComboBox(parent), m_link(this, [this] { refresh(); }), m_model(new LookupListModel(this)) {
    setModel(m_model);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(16);
    // Only the user's choices: showing a value moves the current index without `activated`.
    connect(this, &QComboBox::activated, this, &DBLookupCombo::choose);
    refresh();
}

DBLookupCombo::DBLookupCombo(DataSet *dataSet, const QString &field, QWidget *parent)
    : DBLookupCombo(parent) {
    bind(dataSet, field);
}

void DBLookupCombo::setListSource(DataSet *list, const QString &keyField, const QString &displayField) {
    for (const auto &c : std::as_const(m_listConnections))
        disconnect(c);
    m_listConnections.clear();
    m_list = list;
    m_keyField = keyField;
    m_displayField = displayField;
    GridColumn column;
    column.field = displayField;
    m_model->setColumns({column});
    // The model connects first, so it has reset by the time the value is shown again.
    m_model->setDataSet(list);
    setModelColumn(0);
    if (list)
        m_listConnections << connect(list, &DataSet::dataChanged, this, &DBLookupCombo::listChanged)
                          << connect(list, &QObject::destroyed, this, &DBLookupCombo::listChanged);
    refresh();
}

void DBLookupCombo::setSearchEnabled(bool enabled) {
    if (enabled == isEditable())
        return;
    setEditable(enabled);
    if (enabled) {
        setInsertPolicy(QComboBox::NoInsert);
        auto *c = new QCompleter(m_model, this);
        c->setCompletionColumn(0);
        c->setCompletionRole(Qt::DisplayRole);
        c->setCaseSensitivity(Qt::CaseInsensitive);
        c->setFilterMode(Qt::MatchContains);
        c->setCompletionMode(QCompleter::PopupCompletion);
        c->setMaxVisibleItems(16);
        setCompleter(c);
        lineEdit()->installEventFilter(this);
        connect(lineEdit(), &QLineEdit::editingFinished, this, &DBLookupCombo::searchFinished);
    }
    refresh();
}

int DBLookupCombo::keyIndex() const {
    if (!m_list || !m_list->isActive())
        return -1;
    const Field *f = m_list->findField(m_keyField);
    return f ? f->index() : -1;
}

int DBLookupCombo::rowOfValue() const {
    const Field *f = m_link.field();
    const int key = keyIndex();
    if (!f || f->isNull() || key < 0)
        return -1;
    const QVariant value = f->value();
    for (int r = 0; r < m_list->recordCount(); ++r)
        if (sameKey(m_list->valueAt(r, key), value))
            return r;
    return -1;
}

void DBLookupCombo::listChanged() {
    if (!m_list)
        m_model->setDataSet(nullptr);
    refresh();
}

void DBLookupCombo::refresh() {
    if (m_showing)
        return;
    m_showing = true;
    const Field *f = m_link.field();
    const int row = rowOfValue();
    // The combo box filters its completer's list by every text it puts in the line itself, which
    // for a list of thousands of rows cost more than reading them; a text already in the line is
    // left alone. Typing filters the list anew.
    const auto showText = [this](const QString &text) {
        if (isEditable() && lineEdit()->text() != text)
            lineEdit()->setText(text);
    };
    if (row >= 0 && row < count()) {
        m_newText.clear();
        if (currentIndex() != row) {
            showText(itemText(row));
            setCurrentIndex(row);
        }
        if (isEditable() && currentText() != itemText(row))
            setEditText(itemText(row));
        // The list's current row follows what the selector shows.
        if (m_list->recNo() != row) {
            try {
                m_list->setRecNo(row);
            } catch (...) {
                // a list that cannot move (an edit it cannot post) keeps its row
            }
        }
    } else {
        if (currentIndex() != -1)
            showText(QString());
        setCurrentIndex(-1);
        // A new entry typed shows while the field names nothing.
        const QString shown = f && !f->isNull() ? QString() : m_newText;
        if (isEditable() && currentText() != shown)
            setEditText(shown);
    }
    m_showing = false;
}

void DBLookupCombo::clearNewText() {
    if (m_newText.isEmpty())
        return;
    m_newText.clear();
    refresh();
}

void DBLookupCombo::choose(int row) {
    const int key = keyIndex();
    if (key < 0 || row < 0 || row >= m_list->recordCount()) {
        refresh();
        return;
    }
    if (m_link.write(m_list->valueAt(row, key)))
        refresh();
}

void DBLookupCombo::clearValue() {
    m_newText.clear();
    if (m_link.write(QVariant()))
        refresh();
}

bool DBLookupCombo::handleDelete() {
    if (!m_clearOnDelete)
        return false;
    if (isEditable()) {
        // While a search text is being typed, Delete belongs to that text.
        const QString shown = currentIndex() >= 0 ? itemText(currentIndex()) : QString();
        if (lineEdit()->text() != shown)
            return false;
    }
    clearValue();
    return true;
}

void DBLookupCombo::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier && handleDelete()) {
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

bool DBLookupCombo::eventFilter(QObject *watched, QEvent *event) {
    if (isEditable() && watched == lineEdit() && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier && handleDelete())
            return true;
    }
    return QComboBox::eventFilter(watched, event);
}

void DBLookupCombo::searchFinished() {
    if (!isEditable())
        return;
    const QString text = lineEdit()->text().trimmed();
    if (text.isEmpty()) {
        m_newText.clear();
        if (m_clearOnDelete)
            clearValue();
        else
            refresh();
        return;
    }
    // The text of a row, whatever its case, chooses that row; any other text gives way.
    const int row = findText(text, Qt::MatchFixedString);
    if (row >= 0 && row != rowOfValue()) {
        choose(row);
    } else if (row < 0 && m_newTextAllowed) {
        // A new entry: the field lets go of the row it named, the text stays.
        m_newText = text;
        const Field *f = m_link.field();
        if (f && !f->isNull())
            m_link.write(QVariant());
        refresh();
    } else {
        refresh();
    }
}

// ---------------------------------------------------------------------------------------------
// DBText

DBText::DBText(QWidget *parent) : QLabel(parent), m_link(this, [this] { refresh(); }) {
    setTextFormat(Qt::PlainText);
    refresh();
}

DBText::DBText(DataSet *dataSet, const QString &field, QWidget *parent) : DBText(parent) {
    bind(dataSet, field);
}

void DBText::refresh() {
    const Field *f = m_link.field();
    setText(f ? f->displayText() : QString());
}

VisualSwitch::~VisualSwitch() {
    if (m_suspended)
        m_suspended->enableControls();
}

bool VisualSwitch::set(bool visual, DataSet *dataSet) {
    if (visual == m_visual)
        return false;
    m_visual = visual;
    if (!visual) {
        m_suspended = dataSet;
        if (dataSet)
            dataSet->disableControls();
        return false;
    }
    DataSet *ds = m_suspended;
    m_suspended = nullptr;
    if (!ds)
        return false;
    ds->enableControls();
    if (ds->controlsDisabled())
        return false;
    RefreshDataControls(ds);
    return true;
}
