#pragma once

#include "ui/DataControls.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QVariant>

#include <functional>
#include <optional>

class AppError;
class DataGrid;
class DataSet;
struct GridColumn;
class Field;
class QHBoxLayout;
class QPushButton;

// What a catalogue list does with its rows, given once by the concrete dialog's constructor (see
// TBASEListDG::setCatalogue). Only `list`, `edit` and `remove` are needed; the rest has defaults.
struct ListCatalogue {
    DataSet *list = nullptr;                 // the rows the grid shows
    QString keyField = QStringLiteral("ID"); // a row's key: a number, or a code
    QString nameField;                       // a row's name, for the delete question and its error
    // The edit dialog on a row's key (an invalid QVariant: a new row); the key saved, none when the
    // user cancelled. None: "Добавить" and "Изменить" do nothing.
    std::function<std::optional<QVariant>(const QVariant &key)> edit;
    // Shows a saved row; by default the list is read again on its key.
    std::function<void(const QVariant &saved)> showSaved;
    // Deletes the current row; throws AppError when the database keeps it. None: no deleting.
    std::function<void(DataSet &list)> remove;
    // Whether the current row may be deleted (the delete button follows it); none: every row.
    std::function<bool(const DataSet &list)> canDelete;
    // The question before deleting, given the row's name; by default ConfirmDelete.
    std::function<bool(const QString &name)> confirm;
    // A delete the database refused: this message (%1 the name, %2 the database's reason) is shown
    // and the list is read again; with `refused` set, that runs instead. With neither, the error
    // reaches the standard exception box.
    QString refusedText;
    std::function<void(const QVariant &key, const QString &name, const AppError &error)> refused;
    enum class AfterDelete { Prior, Next, Stay };
    AfterDelete afterDelete = AfterDelete::Prior; // the row made current before the list is read
    // "Выбрать" with no row shows this; empty: the list chooses nothing ("Выбрать" stays disabled).
    QString nothingToChoose;
    // How the list is opened; by default with no parameter values.
    std::function<void(DataSet &list)> open;
    QList<int> fixedColumns;       // columns kept at their width after every reload
    bool firstWhenMissing = false; // a key that is not in the list makes the first row current
};

// For the edit callbacks: a key as an edit dialog takes it (`none` for an invalid key), and what
// the dialog saved as the catalogue's answer.
int KeyOr(const QVariant &key, int none);
template <class Key> std::optional<QVariant> AsKey(const std::optional<Key> &saved) {
    return saved ? std::optional<QVariant>(QVariant::fromValue(*saved)) : std::nullopt;
}

// The base of every catalogue list: a grid over the concrete dialog's list dataset, add, change
// and delete buttons at the bottom left and "Выбрать", "Выход" at the bottom right. "Выбрать"
// writes the current row's key into a target field of the calling dialog through the concrete
// dialog's choose handler (which calls SetBackValue) and ends with OK. On every close the key of
// the current row is remembered, so that a later Run can reopen the list on it.
class TBASEListDG : public QDialog {
    Q_OBJECT
    Q_PROPERTY(bool Visual READ Visual WRITE setVisual)
public:
    explicit TBASEListDG(QWidget *parent = nullptr);
    ~TBASEListDG() override;

    DataGrid *grList;      // read-only, whole rows
    QPushButton *btExit;   // "Выход": ends with Cancel
    QPushButton *btBack;   // "Выбрать": disabled unless a target field and a choose handler exist
    QPushButton *btInsert; // "Добавить": enabled while the list is open
    QPushButton *btEdit;   // "Изменить": enabled while the list is open and has rows
    QPushButton *btDelete; // icon only: enabled while the list is open and has rows
    QPushButton *btFind;   // icon only, hidden until a concrete dialog shows it
    DataSet *taList;       // read-only placeholder shown until setListDataSet

    // The list the grid shows and the buttons follow.
    void setListDataSet(DataSet *list);

    // Makes this the list of a catalogue: "Добавить", "Изменить", the delete with its question,
    // "Выбрать" and the reload then work as the catalogue says. A concrete dialog calls it in its
    // constructor and keeps only what its catalogue has of its own (the Contributing section of
    // README.md shows a whole list); calling it again replaces the catalogue.
    void setCatalogue(ListCatalogue catalogue);
    const ListCatalogue &catalogue() const { return m_catalogue; }
    // Reopens the catalogue's list and makes row `key` current (an invalid or null key, a negative
    // number or the empty code: the row current now); the first row stays current when the key is
    // not in the list (unless the catalogue says otherwise). Busy cursor meanwhile.
    void reloadList(const QVariant &key = {});
    DataSet *listDataSet() const;

    // The target field that "Выбрать" fills (none: nullptr). The field is kept by its dataset and
    // name, so a reopened dataset does not leave a dangling field behind. Setting the field it
    // already has changes nothing.
    void setField(Field *field);
    Field *field() const;

    // The concrete dialog's choose handler; it runs guarded when "Выбрать" is pressed, and the
    // dialog ends with OK once it returned (a handler that throws leaves the dialog open).
    void setChooseHandler(std::function<void()> handler);
    bool hasChooseHandler() const { return bool(m_choose); }

    // Puts the target field's dataset into edit mode (unless it is editing or inserting) and
    // assigns the value, without comparing it with the old one. Nothing without a target field.
    void SetBackValue(const QVariant &value);

    // The key remembered at the last close: the first field of the then current row as an
    // integer, 0 when that was empty or no number (or no row).
    int rememberedKey() const { return m_tag; }

    // False suspends the list dataset's notifications, true resumes them; the same value again
    // does nothing. Starts true.
    bool Visual() const { return m_visual.value(); }
    void setVisual(bool visual);

    void done(int result) override;

protected:
    // The grid's columns and the dialog's fixed size: `height` high and as wide as the columns
    // need at their given widths (wider when the button row needs it; the stretched column then
    // takes the room).
    void setColumns(const QVector<GridColumn> &columns, int height);
    // The bottom row, for a concrete dialog's own buttons (insert them before the stretch, index 4).
    QHBoxLayout *buttonLayout() const { return m_buttons; }
    // Connects a button to a handler that runs guarded (an exception shows the standard box).
    void onClick(QPushButton *button, std::function<void()> handler);

    // The catalogue's commands, as the buttons run them.
    void insertRow();
    void editRow();
    void deleteRow();
    void chooseRow();

    // Follows the list dataset's state, data and current row; a concrete dialog with further
    // button rules overrides it and calls this first.
    virtual void dsListStateChange();
    // Remembers the current key; runs whenever the dialog ends, the close box included.
    void FormClose();

private:
    void updateBack();

    QPointer<DataSet> m_list;
    QVector<QMetaObject::Connection> m_listConnections;
    QPointer<DataSet> m_fieldDataSet;
    QString m_fieldName;
    std::function<void()> m_choose;
    ListCatalogue m_catalogue;
    QHBoxLayout *m_buttons;
    VisualSwitch m_visual;
    int m_tag = 0;
};
