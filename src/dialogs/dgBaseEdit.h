#pragma once

#include "ui/DataControls.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <optional>
#include <utility>

class AppError;
class DataSet;
class QKeyEvent;
class QShowEvent;
class QLabel;
class QPushButton;
class QVBoxLayout;

// The base of every dialog that edits one record: `taData` holds the record, the concrete dialog
// gives its command (the record's key as the only parameter), lays its data-aware controls into
// contentLayout(), declares the rules a record must pass and offers a Run that calls runEdit().
// "Записать" saves and ends with OK, "Отменить" drops the changes and ends with Cancel. Escape and
// the close box end an unchanged dialog with Cancel; with changes they first ask "Сохранить
// изменения?" (save, discard, or go back to the dialog). Enter in a single-line box saves.
//
// Nothing the user typed is lost to a failed save. A rule that refuses the record shows its
// message (the control it names gets the focus); a save the database refuses shows why in Russian
// in the standard exception box. Either way the dialog stays open with the record as typed, and
// the user corrects it, saves again or cancels:
// - another workstation changed the record meanwhile: its changes are read in, the fields the
//   user changed keep the user's values, and the next "Записать" writes them;
// - another workstation removed the record: it cannot be saved any more, only cancelled;
// - a record chosen in a field (a parent) no longer exists: the message names that field;
// - anything else (a busy database, a text too long, a value refused): the database's reason.
class TBaseEditDG : public QDialog {
    Q_OBJECT
    Q_PROPERTY(bool Visual READ Visual WRITE setVisual)
public:
    static const QString ChangedMessage;    // another workstation changed the record
    static const QString RemovedMessage;    // another workstation removed the record
    static const QString ParentGoneMessage; // %1: the caption of the field whose record is gone

    explicit TBaseEditDG(QWidget *parent = nullptr);
    ~TBaseEditDG() override;

    QPushButton *btSave;   // "Записать", enabled exactly while taData is editing or inserting
    QPushButton *btCancel; // "Отменить"
    DataSet *taData;       // on dmTessal->cnGeneral

    // False suspends taData's notifications to its controls, true resumes them and shows every
    // control again. Notifications run when the dialog is made, so the value starts true; setting
    // the value it already has does nothing.
    bool Visual() const { return m_visual.value(); }
    void setVisual(bool visual);

    // The base save: the rules are checked, the names lose their leading and trailing blanks,
    // every text field holding the empty text becomes Null, then taData is posted and the dialog
    // ends with OK. A failure keeps the dialog open (see above); nothing is thrown to the caller.
    // A concrete dialog with a save handler of its own overrides this and ends by calling it.
    virtual void btSaveClick();
    // Drops the record's changes and ends with Cancel.
    void btCancelClick();

    // Whether the record differs from what the dialog opened with.
    bool hasChanges() const;
    // Escape and the close box: see above.
    void reject() override;

    // The caption of a field as the dialog labels it (the text of the label of the control bound
    // to it, without a trailing colon); the field's name when no label names it.
    QString fieldCaption(const QString &field) const;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

    // Where the concrete dialog puts its controls: above the button row, which stays bottom right.
    QVBoxLayout *contentLayout() const { return m_content; }
    // A label for a control; its text names the control's field in the messages of the dialog.
    QLabel *caption(const QString &text, QWidget *control);

    // A name the record needs: saving without one (or with blanks only) shows `message` and
    // focuses `control`; the name is saved without leading and trailing blanks.
    void requireName(const QString &field, QWidget *control, const QString &message);
    // A rule checked on every save, in the order declared: when `passes` returns false, `message`
    // is shown and `control` gets the focus, and nothing is written.
    void addRule(std::function<bool()> passes, const QString &message, QWidget *control);

    // The common Run: open taData with `key`; when no row came back append a new record and let
    // `presetNew` fill its fields (parent keys and the like); show modally. True when saved.
    // Errors of the open reach the caller.
    bool runEdit(int key, const std::function<void(DataSet &)> &presetNew = {});
    // runEdit, answering the key of the saved record (the field `keyField`); none when not saved.
    std::optional<int> runEditKey(int key, const QString &keyField,
                                  const std::function<void(DataSet &)> &presetNew = {});

    // Keeps btSave in step with taData; runs on every change of state, record or field data.
    void dsDataDataChange();

    // Writes the checked and prepared record; the base save calls it and treats what it throws as
    // a failed save. A dialog that stores more together with the record (in one transaction)
    // overrides it.
    virtual void postData();

private:
    struct Rule {
        std::function<bool()> passes;
        QString message;
        QPointer<QWidget> control;
    };

    void saveClicked();
    bool rulesPass();
    bool datesAreDates();
    QVector<QVariant> currentValues() const;
    void prepareValues();
    void restoreTyped(const QVector<std::pair<QString, QVariant>> &typed);
    QString failureText(const AppError &error);
    bool recordExists();
    void takeOtherChanges();
    QString goneParent() const;

    QVBoxLayout *m_content;
    VisualSwitch m_visual;
    QVector<Rule> m_rules;
    QStringList m_names;
    int m_key = -1;
    QVector<QVariant> m_opened; // the record's values as the dialog opened it
};
