#pragma once

#include "ui/DataControls.h"

#include "data/Settings.h"

#include <QDialog>
#include <QPointer>

#include <functional>

class DataGrid;
class DataSet;
class Field;
class QComboBox;
class QLabel;
class QPushButton;
class QTimer;

// The base of every find dialog: a free text in `edFind` is sent to a server find procedure once
// the user pauses typing, the rows found are listed by name, and "Выбрать" (or a double click, or
// Enter on a found row) writes the chosen row's ID into the target field of the calling dialog.
// The texts chosen with are kept as a history of at most 16 lines, stored in the dialog's settings
// section when it closes and read when it is shown.
//
// An empty box shows the concrete dialog's hint as its placeholder and lists nothing; the find
// procedure is not called for it. The procedures return at most FindRowLimit + 1 rows: the list
// shows FindRowLimit of them and, when there were more, a line below it says so.
class TBASEFindDG : public QDialog {
    Q_OBJECT
    Q_PROPERTY(bool Visual READ Visual WRITE setVisual)
public:
    static constexpr int HistoryLines = 16;
    static constexpr int TypingPauseMs = 250; // the pause in typing after which the search runs
    static const QString MoreFoundText;       // %1: FindRowLimit

    // Made with the target field that receives the chosen ID (may be none).
    explicit TBASEFindDG(Field *target = nullptr, QWidget *parent = nullptr);
    ~TBASEFindDG() override;

    DataGrid *grList;      // one column Name, no titles
    QLabel *laMore;        // below the list, shown when more rows were found than it shows
    QPushButton *btExit;   // "Выход": ends with Cancel
    QPushButton *btBack;   // "Выбрать": enabled while a search text found rows
    QPushButton *btInsert; // "Добавить": hidden until a concrete dialog shows and wires it
    QComboBox *edFind;     // the search text with its history; no completion
    DataSet *taFind;       // the find procedure's rows: ID, Name and what else it declares
    QTimer *tmFind;        // runs the search after a pause in typing
    PropertyStore storFind{QStringLiteral("Base.Find")}; // stores edFind.<P>.Items

    // The find procedure, e.g. "FindDepartment;1" (parameters @RETURN_VALUE and @NM).
    void setFindProcedure(const QString &procedure);
    // The settings section of the history, e.g. "Department.Find".
    void setSection(const QString &section) { storFind.setSection(section); }
    // The placeholder of the empty box, also the box's hint.
    void setPlaceholder(const QString &text);
    QString placeholder() const;
    // The box is empty (blanks count as empty) and shows the placeholder.
    bool showsPlaceholder() const { return searchText().isEmpty(); }

    // The field that receives the chosen ID; kept by its dataset and name, so a dataset reopened
    // between two runs is no trouble.
    void setTargetField(Field *field);
    Field *targetField() const;

    // Runs the find procedure with the text of the box now (an empty box: the list is emptied and
    // the procedure is not called). Errors reach the caller; the list is then empty.
    void RefreshFind();
    // A search typed but not run yet (the pause in typing has not passed).
    bool findPending() const;
    // Runs a pending search now.
    void flushFind();
    // What RefreshFind sends: the box's text without leading and trailing blanks.
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

    // Reads the history, puts the caret at the start of the box and searches for its text at once.
    void FormShow();
    // Runs on every change of the box's text: an empty box empties the list at once, any other
    // text is searched for once the user pauses typing.
    void edFindChange();

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void search();
    void choose();
    void loadHistory();
    void saveHistory();

    QPointer<DataSet> m_targetDataSet;
    QString m_targetName;
    VisualSwitch m_visual;
    bool m_updating = false; // the box's text is being set here, not typed
};
