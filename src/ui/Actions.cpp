#include "ui/Actions.h"

#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "ui/ImageList.h"

#include <QAbstractEventDispatcher>
#include <QActionGroup>
#include <QCoreApplication>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>

QIcon imageIcon(int index) {
    if (index < 0)
        return QIcon();
    return dmTessal ? ToolBarImages().icon(index) : QIcon();
}

// ---------------------------------------------------------------------------------------------
// Idle updates

namespace {
QList<ActionList *> &registeredLists() {
    static QList<ActionList *> lists;
    return lists;
}
} // namespace

// One for the whole program: when the event loop is about to wait, a zero timer is armed; it fires
// once, updates every shown list and is not armed again by the wait that follows its own run, so an
// idle program sleeps instead of waking itself up over and over.
class IdleUpdater : public QObject {
public:
    static void ensure() {
        static QPointer<IdleUpdater> instance;
        QCoreApplication *app = QCoreApplication::instance();
        if (instance || !app)
            return;
        QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance(app->thread());
        if (!dispatcher)
            return;
        instance = new IdleUpdater(app, dispatcher);
    }

private:
    IdleUpdater(QObject *parent, QAbstractEventDispatcher *dispatcher) : QObject(parent) {
        m_timer.setSingleShot(true);
        m_timer.setInterval(0);
        connect(&m_timer, &QTimer::timeout, this, &IdleUpdater::run);
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &IdleUpdater::aboutToBlock);
    }

    void aboutToBlock() {
        if (m_justRan) {
            m_justRan = false; // this wait follows our own run: nothing new to ask about
            return;
        }
        if (!m_timer.isActive() && !registeredLists().isEmpty())
            m_timer.start();
    }

    void run() {
        m_justRan = true;
        // A rule may create or destroy lists (a view built on first use): walk a copy.
        const QList<ActionList *> lists = registeredLists();
        for (ActionList *list : lists)
            if (registeredLists().contains(list) && list->shown())
                list->updateAll();
    }

    QTimer m_timer;
    bool m_justRan = false;
};

// ---------------------------------------------------------------------------------------------
// Action

namespace {
QString hintText(const QString &hint) {
    QString text = hint;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}
} // namespace

Action::Action(QObject *parent, const QString &objectName, const QString &text, const QString &hint,
               int image)
    : QAction(parent), m_image(image) {
    setObjectName(objectName);
    setText(text);
    setHint(hint);
    if (image >= 0)
        setIcon(imageIcon(image));
    connect(this, &QAction::triggered, this, &Action::run);
}

void Action::setHint(const QString &hint) {
    m_hint = hint;
    const QString text = hintText(hint);
    setToolTip(text);
    setStatusTip(QString(text).replace(u'\n', u' '));
}

void Action::setEnabledWhen(std::function<bool()> predicate) {
    m_enabledWhen = std::move(predicate);
}

void Action::onTrigger(std::function<void()> handler) {
    m_handler = std::move(handler);
}

bool Action::updateEnabled() {
    if (!m_enabledWhen)
        return isEnabled();
    bool enabled = false;
    try {
        enabled = m_enabledWhen();
    } catch (...) {
        enabled = false;
    }
    setEnabled(enabled);
    return enabled;
}

void Action::run() {
    if (!m_handler)
        return;
    // The state shown may be older than the last change (a shortcut pressed before the next idle).
    if (m_enabledWhen && !updateEnabled())
        return;
    Guarded(m_handler);
}

// ---------------------------------------------------------------------------------------------
// ActionList

ActionList::ActionList(QObject *parent) : QObject(parent) {
    registeredLists() << this;
    IdleUpdater::ensure();
}

ActionList::~ActionList() {
    registeredLists().removeAll(this);
}

Action *ActionList::add(Action *action) {
    if (!action)
        return nullptr;
    if (!action->parent())
        action->setParent(this);
    if (!m_actions.contains(action))
        m_actions << action;
    return action;
}

Action *ActionList::action(const QString &objectName, const QString &text, const QString &hint, int image) {
    return add(new Action(this, objectName, text, hint, image));
}

QList<Action *> ActionList::actions() const {
    QList<Action *> out;
    for (const QPointer<Action> &a : m_actions)
        if (a)
            out << a.data();
    return out;
}

void ActionList::updateAll() {
    m_actions.removeAll(QPointer<Action>());
    const QList<QPointer<Action>> actions = m_actions;
    for (const QPointer<Action> &a : actions)
        if (a)
            a->updateEnabled();
}

bool ActionList::shown() const {
    for (QObject *o = parent(); o; o = o->parent())
        if (auto *w = qobject_cast<QWidget *>(o))
            return w->isVisible();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Helpers

QToolButton *addToolButton(QToolBar *toolBar, Action *action) {
    // The toolbar makes the button itself, so it follows the toolbar's icon size and button style.
    toolBar->addAction(action);
    return qobject_cast<QToolButton *>(toolBar->widgetForAction(action));
}

QToolBar *viewToolBar(QWidget *parent, const char *objectName, bool captions) {
    auto *toolBar = new QToolBar(parent);
    toolBar->setObjectName(QString::fromLatin1(objectName));
    toolBar->setIconSize(QSize(16, 16));
    if (captions)
        toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    return toolBar;
}

QActionGroup *exclusiveGroup(QObject *parent, const QList<Action *> &actions) {
    auto *group = new QActionGroup(parent);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    for (Action *a : actions) {
        a->setCheckable(true);
        group->addAction(a);
    }
    if (!group->checkedAction() && !actions.isEmpty())
        actions.front()->setChecked(true);
    return group;
}
