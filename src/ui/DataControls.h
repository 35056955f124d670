#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QValidator>
#include <QVariant>

#include <functional>

class DataSet;
class DataSetModel;
class Field;
class QCalendarWidget;
class QFrame;

// The tie between one control and one field of a dataset. The field is looked up by name each
// time it is needed, so the link survives the dataset being closed at bind time, reopened (which
// makes new Field objects) or destroyed. The owner's refresh runs whenever the field may show
// something else: another current row, an edit begun, cancelled or posted, new rows, a change of
// this field's value.
class FieldLink : public QObject {
    Q_OBJECT
public:
    // `owner` is the control the link belongs to (it keeps the link as a member).
    FieldLink(QObject *owner, std::function<void()> refresh);
    ~FieldLink() override;
    QObject *owner() const { return m_owner; }

    void bind(DataSet *dataSet, const QString &fieldName);
    DataSet *dataSet() const { return m_dataSet; }
    const QString &fieldName() const { return m_fieldName; }
    // The field as the dataset holds it now; null while the dataset is closed or lacks the field.
    Field *field() const;
    // A value can be written: the field exists and may change, and there is a record to change.
    bool writable() const;

    // Stores a value the user gave: nothing when the field already holds it, else the dataset goes
    // into edit mode first (Null is accepted from a browsing dataset as well). A refused value is
    // shown in the standard exception box and the owner refreshes; false then. The owner's refresh
    // does not run while the value is being written, so a control is never reset under the user.
    bool write(const QVariant &value);

    void refresh();

private:
    QObject *m_owner;
    QPointer<DataSet> m_dataSet;
    QString m_fieldName;
    std::function<void()> m_refresh;
    QVector<QMetaObject::Connection> m_connections;
    bool m_writing = false;
};

// The link of a data-aware control (any control that keeps a FieldLink), nullptr for another widget.
const FieldLink *FieldLinkOf(const QObject *control);

// Shows every control bound to the dataset again. A dataset whose notifications were suspended
// announces only changes of rows and state when they resume, not changes of field values made in
// between; whoever resumes them calls this.
void RefreshDataControls(const DataSet *dataSet);

// The Visual switch of a dialog: false suspends one dataset's notifications to its controls,
// true resumes them and redraws the controls. A dataset still suspended when the switch goes away
// is resumed.
class VisualSwitch {
public:
    VisualSwitch() = default;
    VisualSwitch(const VisualSwitch &) = delete;
    VisualSwitch &operator=(const VisualSwitch &) = delete;
    ~VisualSwitch();

    bool value() const { return m_visual; }
    // Nothing happens when the value stays. Returns true when notifications were resumed and the
    // controls redrawn, so that the dialog can bring its own state up to date too.
    bool set(bool visual, DataSet *dataSet);

private:
    bool m_visual = true;
    QPointer<DataSet> m_suspended;
};

// A one-line text bound to a field. It never takes more characters than a text field holds;
// numbers are checked as typed. Every edit is written at once: an empty text as the empty text
// for a text field (the base save turns it into Null) and as Null for any other field. The edit
// locks itself while the field cannot be written and unlocks what it locked.
class DBEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit DBEdit(QWidget *parent = nullptr);
    DBEdit(DataSet *dataSet, const QString &field, QWidget *parent = nullptr);
    void bind(DataSet *dataSet, const QString &field) { m_link.bind(dataSet, field); }
    FieldLink &link() { return m_link; }

private:
    void refresh();
    void edited(const QString &text);

    FieldLink m_link;
    bool m_locked = false;            // made read-only here (not by the caller)
    int m_shownType = -1;             // the field type the validator was made for
    QPointer<QValidator> m_validator; // made here; a validator the caller sets is left alone
};

// A multi-line text bound to a field; a field with a size never receives more characters than it
// holds (the surplus of a paste or a keystroke is dropped at the caret).
class DBMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit DBMemo(QWidget *parent = nullptr);
    DBMemo(DataSet *dataSet, const QString &field, QWidget *parent = nullptr);
    void bind(DataSet *dataSet, const QString &field) { m_link.bind(dataSet, field); }
    FieldLink &link() { return m_link; }

private:
    void refresh();
    void edited();

    FieldLink m_link;
    bool m_showing = false;
    bool m_locked = false;
};

// A check box bound to a boolean field; Null shows unchecked.
class DBCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit DBCheckBox(QWidget *parent = nullptr);
    DBCheckBox(DataSet *dataSet, const QString &field, QWidget *parent = nullptr);
    DBCheckBox(DataSet *dataSet, const QString &field, const QString &text, QWidget *parent = nullptr);
    void bind(DataSet *dataSet, const QString &field) { m_link.bind(dataSet, field); }
    FieldLink &link() { return m_link; }

private:
    void refresh();

    FieldLink m_link;
};

// A date (no time of day) bound to a date field, typed as dd.MM.yyyy or picked from a calendar.
// Null shows an empty box with a grey dash; emptying the box (the clear button, or deleting the
// text and leaving the box) stores Null. A text that is no date ("31.02.2025") is refused with a
// message when the box is left and stays in the box for correction; the field keeps its date.
class DBDateEdit : public QLineEdit {
    Q_OBJECT
public:
    static constexpr const char *Format = "dd.MM.yyyy";

    explicit DBDateEdit(QWidget *parent = nullptr);
    DBDateEdit(DataSet *dataSet, const QString &field, QWidget *parent = nullptr);
    void bind(DataSet *dataSet, const QString &field) { m_link.bind(dataSet, field); }
    FieldLink &link() { return m_link; }

    QDate date() const; // invalid while the field is Null
    // What the user does with the box: store a date (midnight), or Null for an invalid date.
    void setDate(const QDate &date);
    void clearDate() { setDate(QDate()); }
    // The calendar below the box; picking a day stores it.
    void showCalendar();
    QCalendarWidget *calendar() const { return m_calendar; }

    // The box holds a text that is no date.
    bool holdsNonDate() const;
    // The box holds a text other than the field's date as shown.
    bool hasUntakenText() const;
    // Takes the text as leaving the box does: a date is stored, an empty box stores Null, a text
    // that is no date is refused.
    void take() { finished(); }
    // Says that the box's text is no date; refusedShown() is true until the text changes.
    void refuse();
    bool refusedShown() const { return !m_refused.isNull() && m_refused == text(); }

private:
    void refresh();
    void finished();

    FieldLink m_link;
    QFrame *m_popup = nullptr;
    QCalendarWidget *m_calendar = nullptr;
    bool m_locked = false;
    bool m_refusing = false;
    QString m_refused; // the text last refused
};

// A drop-down bound to a key field of a dataset, listing the rows of a second dataset by one of its
// fields. It shows the text of the list row whose key equals the field's value (nothing when no
// row does) and moves the list's current row there; choosing a row stores that row's key.
//
// With search enabled the user may type: the drop-down offers the rows containing the typed text,
// whatever its case; leaving the box on a text that names a row chooses it, any other text gives
// way to the field's value again. With clearing enabled the Delete key stores Null; while the user
// is typing a search text Delete edits that text instead.
class DBLookupCombo : public QComboBox {
    Q_OBJECT
public:
    explicit DBLookupCombo(QWidget *parent = nullptr);
    DBLookupCombo(DataSet *dataSet, const QString &field, QWidget *parent = nullptr);
    void bind(DataSet *dataSet, const QString &field) { m_link.bind(dataSet, field); }
    FieldLink &link() { return m_link; }

    // The rows to choose from; the list may be closed now and opened or reopened at any time.
    void setListSource(DataSet *list, const QString &keyField = QStringLiteral("ID"),
                       const QString &displayField = QStringLiteral("Name"));
    DataSet *listSource() const { return m_list; }
    const QString &keyField() const { return m_keyField; }
    const QString &displayField() const { return m_displayField; }

    void setSearchEnabled(bool enabled);
    bool searchEnabled() const { return isEditable(); }
    void setClearOnDelete(bool enabled) { m_clearOnDelete = enabled; }
    bool clearOnDelete() const { return m_clearOnDelete; }
    // With search enabled: a typed text that names no row stays in the box as a new entry (the
    // field then holds Null) instead of giving way; the owner creates the entry when it saves.
    void setNewTextAllowed(bool allowed) { m_newTextAllowed = allowed; }
    // The new entry typed, empty when none was typed since the box last showed a row. It shows
    // while the field holds Null.
    const QString &newText() const { return m_newText; }
    void clearNewText();

    // What a choice of the user does: store the key of list row `row` (in the list's order).
    void choose(int row);
    // What the Delete key does when clearing is enabled: store Null.
    void clearValue();
    // The list row showing the field's value, -1 when none.
    int rowOfValue() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();
    void listChanged();
    void searchFinished();
    int keyIndex() const;
    bool handleDelete();

    FieldLink m_link;
    QPointer<DataSet> m_list;
    QVector<QMetaObject::Connection> m_listConnections;
    DataSetModel *m_model;
    QString m_keyField = QStringLiteral("ID");
    QString m_displayField = QStringLiteral("Name");
    bool m_clearOnDelete = false;
    bool m_showing = false;
    bool m_newTextAllowed = false;
    QString m_newText;
};

// A read-only label showing a field's display text (never read as markup).
class DBText : public QLabel {
    Q_OBJECT
public:
    explicit DBText(QWidget *parent = nullptr);
    DBText(DataSet *dataSet, const QString &field, QWidget *parent = nullptr);
    void bind(DataSet *dataSet, const QString &field) { m_link.bind(dataSet, field); }
    FieldLink &link() { return m_link; }

private:
    void refresh();

    FieldLink m_link;
};
