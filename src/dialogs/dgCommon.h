#pragma once

#include <QList>
#include <QPointer>
#include <QString>

#include <optional>

class DataSet;
class QDialog;
class QIcon;
class QObject;
class QPushButton;
class QWidget;

// Every catalogue dialog is one instance, made on first use over the shared connection and kept
// while the dialog registry it was made under lives: the program object owns that registry and
// destroys it before the data modules, so no dialog outlives the connection its datasets use. A
// dialog keeps its state between openings (position, last values, the list it showed) for as long.
// A concrete dialog takes that from here and declares nothing of it:
//
//     class TFirmEditDG : public TBaseEditDG, public SingleDialog<TFirmEditDG> { ... };
//     std::optional<int> TFirmEditDG::Run(int id) { return Instance()->runEditKey(id, "IdClient"); }
//
// Its constructor (public, called only by Instance) lays out its controls, binds them and wires
// its rules; its Run prepares the lookup lists it needs, calls the base's runEdit, runFind or shows
// the list, and returns what the caller needs (the key saved or chosen), so that no caller reads a
// closed dialog's datasets. Field types and widths come from the tables and procedures, not from
// the dialog.
class DialogRegistry {
public:
    // Becomes the registry the dialogs are made under until it is destroyed.
    DialogRegistry();
    // Destroys every dialog made under it, the newest first; the registry that was current before
    // it becomes current again.
    ~DialogRegistry();
    DialogRegistry(const DialogRegistry &) = delete;
    DialogRegistry &operator=(const DialogRegistry &) = delete;

    // The registry new dialogs are made under; null when there is none.
    static DialogRegistry *current();
    // Called by SingleDialog for each instance it makes.
    void keep(QDialog *dialog);

private:
    QList<QPointer<QDialog>> m_dialogs;
    DialogRegistry *m_previous;
};

// The dialog registry that must exist for a dialog to be made; throws a clear error when there is
// none (a dialog without an owner would outlive the connection).
DialogRegistry &CurrentDialogRegistry();

template <class T> class SingleDialog {
public:
    // The single instance, made on first use under the current registry.
    static T *Instance() {
        if (!s_instance) {
            DialogRegistry &registry = CurrentDialogRegistry();
            s_instance = new T;
            registry.keep(s_instance);
        }
        return s_instance;
    }

private:
    static inline QPointer<T> s_instance;
};

// A kind as a dialog hands it back: its key and its type letter.
struct KindChoice {
    int id = -1;
    QString type;
};

// A dataset of a dialog on the shared connection (none before the data module exists), owned by
// `owner` and named for tests and for reading.
// The widget with its object name, for building a dialog's controls in one expression.
template <class Widget> Widget *Named(Widget *widget, const char *objectName) {
    widget->setObjectName(QString::fromLatin1(objectName));
    return widget;
}

DataSet *DialogDataSet(QObject *owner, const QString &objectName);

// A button of a dialog, named for tests and for reading: a caption, or an icon with a hint. Enter
// in a text box never presses it behind the user's back (it is no default button).
QPushButton *DialogButton(QWidget *owner, const char *objectName, const QString &text);
QPushButton *DialogButton(QWidget *owner, const char *objectName, const QIcon &icon, const QString &hint);
