#pragma once

#include "DataControls.h"

#include "Settings.h"

#include <QDialog>
#include <QPointer>

#include <functional>

class DataGrid;
class DataSet;
class Field;
class QComboBox;
class QPushButton;

// The base of every find dialog: a free text in `edFind` is sent to a server find procedure as
// it is typed, the rows found are listed by name, and "Выбрать" writes the chosen row's ID into
// the target field of the calling dialog. The texts chosen with are kept as a history of at most
// 16 lines, stored in the dialog's settings section when it closes and read when it is shown.
//
// While the box is empty it shows the placeholder (the concrete dialog's hint text) in grey; the
// find procedure then receives the empty text, so the whole catalogue is listed.
class TBASEFindDG : public QDialog {
    Q_OBJECT
    Q_PROPERTY(bool Visual READ Visual WRITE setVisual)
public:
    static constexpr int HistoryLines = 16;

    // Made with the target field that receives the chosen ID (may be none).
    explicit TBASEFindDG(Field *target = nullptr, QWidget *parent = nullptr);
    ~TBASEFindDG() override;

    DataGrid *grList;      // one column Name, no titles
    QPushButton *btExit;   // "Выход": ends with Cancel
    QPushButton *btBack;   // "Выбрать": enabled while a search text found rows
    QPushButton *btInsert; // "Добавить": hidden until a concrete dialog shows and wires it
    QComboBox *edFind;     // the search text with its history; no completion
    DataSet *taFind;       // the find procedure's rows: ID (integer), Name (250 characters), maybe more
    PropertyStore storFind{QStringLiteral("Base.Find")}; // stores edFind.<P>.Items

    // The find procedure, e.g. "FindDepartment;1" (parameters @RETURN_VALUE and @NM).
    void setFindProcedure(const QString &procedure);
    // The settings section of the history, e.g. "Department.Find".
    void setSection(const QString &section) { storFind.setSection(section); }
    // The grey text of the empty box, also the box's hint.
    void setPlaceholder(const QString &text);
    const QString &placeholder() const { return m_placeholder; }
    bool showsPlaceholder() const { return m_grey; }

    // The field that receives the chosen ID; kept by its dataset and name, so a dataset reopened
    // between two runs is no trouble.
    void setTargetField(Field *field);
    Field *targetField() const;

    // Runs the find procedure again with the text of the box (the empty text while the box shows
    // the placeholder). Errors reach the caller; the list is then empty.
    void RefreshFind();
    // What RefreshFind sends: the box's text without leading and trailing blanks, or the empty
    // text while the box shows the placeholder.
    QString searchText() const;
    QStringList history() const;

    // False suspends the target field's dataset's notifications, true resumes them; the same
    // value again does nothing. Starts true.
    bool Visual() const { return m_visual.value(); }
    void setVisual(bool visual);

    void done(int result) override;

protected:
    // The base choose, run by "Выбрать": a new search text joins the end of the history (the
    // oldest lines give way beyond 16; a text already there stays where it is), the current found
    // row's ID is written into the target field (SetFieldValue) and the dialog ends with OK.
    // Nothing happens while nothing is found. A concrete dialog with a choose handler of its own
    // overrides this and ends by calling it.
    virtual void btBackClick();

    // The common Run: make `target` the target field, show modally; true when a row was chosen.
    bool runFind(Field *target);

    // Connects a button to a handler that runs guarded (an exception shows the standard box).
    void onClick(QPushButton *button, std::function<void()> handler);

    // Reads the history, puts the caret at the start of the box and evaluates it (edFindChange).
    void FormShow();
    // Runs on every change of the box's text: a search text is shown in the normal colour and
    // searched for (typed into the grey placeholder, the placeholder is taken out again); an empty
    // box shows the placeholder in grey and lists everything. Errors are shown in the standard box.
    void edFindChange();

private:
    void evaluate();
    void setBoxText(const QString &text);
    void setGrey(bool grey);
    void loadHistory();
    void saveHistory();

    QString m_placeholder;
    QPointer<DataSet> m_targetDataSet;
    QString m_targetName;
    VisualSwitch m_visual;
    bool m_grey = false;
    bool m_loading = true;   // nothing is searched while the dialog is being made
    bool m_updating = false; // the box's text is being set here, not typed
};
