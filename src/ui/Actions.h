#pragma once

#include <QAction>
#include <QIcon>
#include <QList>
#include <QPointer>

#include <functional>

class QActionGroup;
class QToolBar;
class QToolButton;

// An icon of the shared image list by its index (Img::...); empty without the data module or for -1.
QIcon imageIcon(int index);

// A command: caption, hint (the tooltip; "\r\n" breaks its lines), icon from the shared image list,
// an enabling rule and a handler. The handler runs guarded: what it throws is shown in the standard
// exception box and the program goes on.
class Action : public QAction {
    Q_OBJECT
public:
    Action(QObject *parent, const QString &objectName, const QString &text, const QString &hint = {},
           int image = -1);

    const QString &hint() const { return m_hint; }
    void setHint(const QString &hint);
    int image() const { return m_image; }

    // The rule is asked whenever the program goes idle (see ActionList) and right before the
    // handler runs; a rule that throws counts as false and shows nothing.
    void setEnabledWhen(std::function<bool()> predicate);
    void onTrigger(std::function<void()> handler);

    // Asks the rule and sets the enabled state; true when enabled. Without a rule nothing changes.
    bool updateEnabled();

private:
    void run();

    QString m_hint;
    int m_image;
    std::function<bool()> m_enabledWhen;
    std::function<void()> m_handler;
};

// The actions of one window or view. Every list asks its actions' rules once each time the program
// goes idle, while the window it belongs to (its nearest widget ancestor, if any) is visible.
class ActionList : public QObject {
    Q_OBJECT
public:
    explicit ActionList(QObject *parent = nullptr);
    ~ActionList() override;

    // Registers an action; an action without a parent becomes the list's child.
    Action *add(Action *action);
    // Creates an action owned by the list and registers it.
    Action *action(const QString &objectName, const QString &text, const QString &hint = {}, int image = -1);
    QList<Action *> actions() const;

    // Asks every rule now.
    void updateAll();

private:
    friend class IdleUpdater;
    bool shown() const;

    QList<QPointer<Action>> m_actions;
};

// A toolbar button for the action: it mirrors the action's enabled and checked state and shows the
// hint as its tooltip. The caller names it.
QToolButton *addToolButton(QToolBar *toolBar, Action *action);

// A view's toolbar of 16-pixel icons, named; `captions` puts each action's caption beside its icon.
QToolBar *viewToolBar(QWidget *parent, const char *objectName, bool captions = false);

// Makes the actions checkable and mutually exclusive, with exactly one checked (the first unless one
// already is).
QActionGroup *exclusiveGroup(QObject *parent, const QList<Action *> &actions);
