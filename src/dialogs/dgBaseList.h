#pragma once

#include "DataControls.h"

#include <QDialog>
#include <QPointer>
#include <QVariant>

#include <functional>

class DataGrid;
class DataSet;
struct GridColumn;
class Field;
class QHBoxLayout;
class QPushButton;

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
    QHBoxLayout *m_buttons;
    VisualSwitch m_visual;
    int m_tag = 0;
};
