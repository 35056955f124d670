#pragma once

#include "DataControls.h"

#include <QDialog>
#include <QPointer>

#include <functional>

class DataSet;
class QLabel;
class QPushButton;
class QVBoxLayout;

// The base of every dialog that edits one record: `taData` holds the record, the concrete dialog
// gives its command (the record's key as the only parameter), lays its data-aware controls into
// contentLayout(), declares the rules a record must pass (requireName, addRule) and offers a Run
// that calls runEdit(). A rule that refuses the record shows its message, focuses its control and
// keeps the dialog open with everything typed. "Записать" saves and ends with OK,
// "Отменить" drops the changes and ends with Cancel; the close box ends with Cancel and leaves the
// record as it is until the next Run reopens it.
//
// A save that fails for any reason (the database refuses the row, another workstation changed or
// removed it meanwhile, a before-post check throws, a concrete save handler throws before the
// base save) cancels the record, ends the dialog with Cancel and shows the message in the standard
// exception box. The caller's Run therefore receives false and nothing else of it is touched.
class TBaseEditDG : public QDialog {
    Q_OBJECT
    Q_PROPERTY(bool Visual READ Visual WRITE setVisual)
public:
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
    // every text field holding the empty text becomes Null, then taData is posted
    // and the dialog ends with OK. On failure see above; nothing is thrown to the caller. A
    // concrete dialog with a save handler of its own overrides this and ends by calling it.
    virtual void btSaveClick();
    // Drops the record's changes and ends with Cancel.
    void btCancelClick();

    // The caption of a field as the dialog labels it (the text of the label of the control bound
    // to it, without a trailing colon); the field's name when no label names it.
    QString fieldCaption(const QString &field) const;

protected:
    // Where the concrete dialog puts its controls: above the button row, which stays bottom right.
    QVBoxLayout *contentLayout() const { return m_content; }
    // A label for a control; its text names the control's field in the messages of the dialog.
    QLabel *caption(const QString &text, QWidget *control);

    // A name the record needs: saving without one (or with blanks only) shows `message` and
    // focuses `control`; the name is saved without leading and trailing blanks.
    void requireName(const QString &field, QWidget *control, const QString &message);
    // A rule checked on every save, after the names, in the order declared: when `passes` returns
    // false, `message` is shown, `control` gets the focus and nothing is written.
    void addRule(std::function<bool()> passes, const QString &message, QWidget *control);

    // The common Run: open taData with `key`; when no row came back append a new record and let
    // `presetNew` fill its fields (parent keys and the like); show modally. True when saved.
    // Errors of the open reach the caller.
    bool runEdit(int key, const std::function<void(DataSet &)> &presetNew = {});

    // Keeps btSave in step with taData; runs on every change of state, record or field data.
    void dsDataDataChange();

private:
    struct Rule {
        std::function<bool()> passes;
        QString message;
        QPointer<QWidget> control;
    };

    bool rulesPass();
    void prepareValues();
    void saveClicked();
    void failSave(const QString &message);

    QVBoxLayout *m_content;
    VisualSwitch m_visual;
    QVector<Rule> m_rules;
    QStringList m_names;
    bool m_saveFailed = false;
};
