#pragma once

#include <QModelIndex>
#include <QObject>
#include <QPoint>
#include <QPointer>

#include <functional>

class QAbstractItemView;
class QMimeData;

// Dragging an element of the complete-set grid onto a node of the placement tree. The grid's row
// is dragged as the element's key; the tree takes it on the nodes the view accepts and hands it
// over to the view's drop handler.
class ElementDragDrop : public QObject {
    Q_OBJECT
public:
    static const QString MimeType; // the element's key as decimal text

    struct Handlers {
        std::function<int()> currentElement;                // the key of the grid's row, <= 0 for none
        std::function<bool(const QModelIndex &)> accepts;   // may the element go onto this node?
        std::function<void(int, const QModelIndex &)> drop; // the element dropped onto the node
    };

    ElementDragDrop(QAbstractItemView *source, QAbstractItemView *target, Handlers handlers);

    // The drag data of an element, and the element a drag carries (0 when none).
    static QMimeData *mimeData(int element);
    static int elementOf(const QMimeData *data);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool sourceEvent(QEvent *event);
    bool targetEvent(QEvent *event);

    QPointer<QAbstractItemView> m_source, m_target;
    // The viewports whose events come here. A view being destroyed still sends its viewport's last
    // events through the filter after its item-view part has gone, so they are told apart as plain
    // objects, never through the views.
    QPointer<QObject> m_sourceViewport, m_targetViewport;
    Handlers m_handlers;
    QPoint m_pressed;
    bool m_armed = false;
};
