#include "placement/ElementDrag.h"

#include "data/TessalDialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>

const QString ElementDragDrop::MimeType = QStringLiteral("application/x-velmora-element");

ElementDragDrop::ElementDragDrop(QAbstractItemView *source, QAbstractItemView *target, Handlers handlers)
    : QObject(source), m_source(source), m_target(target), m_sourceViewport(source->viewport()),
      m_targetViewport(target->viewport()), m_handlers(std::move(handlers)) {
    source->viewport()->installEventFilter(this);
    target->viewport()->installEventFilter(this);
    target->viewport()->setAcceptDrops(true);
    target->setDropIndicatorShown(true);
}

QMimeData *ElementDragDrop::mimeData(int element) {
    auto *data = new QMimeData;
    data->setData(MimeType, QByteArray::number(element));
    return data;
}

int ElementDragDrop::elementOf(const QMimeData *data) {
    if (!data || !data->hasFormat(MimeType))
        return 0;
    bool ok = false;
    const int element = data->data(MimeType).toInt(&ok);
    return ok && element > 0 ? element : 0;
}

bool ElementDragDrop::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_sourceViewport.data())
        return sourceEvent(event);
    if (watched == m_targetViewport.data())
        return targetEvent(event);
    return false;
}

bool ElementDragDrop::sourceEvent(QEvent *event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto *e = static_cast<QMouseEvent *>(event);
        m_armed = e->button() == Qt::LeftButton;
        m_pressed = e->position().toPoint();
        return false;
    }
    case QEvent::MouseButtonRelease:
        m_armed = false;
        return false;
    case QEvent::MouseMove: {
        const auto *e = static_cast<QMouseEvent *>(event);
        if (!m_armed || !(e->buttons() & Qt::LeftButton) ||
            (e->position().toPoint() - m_pressed).manhattanLength() < QApplication::startDragDistance())
            return false;
        m_armed = false;
        const int element = m_handlers.currentElement ? m_handlers.currentElement() : 0;
        if (element <= 0)
            return false;
        auto *drag = new QDrag(m_source);
        drag->setMimeData(mimeData(element));
        drag->exec(Qt::MoveAction);
        return true;
    }
    default:
        return false;
    }
}

bool ElementDragDrop::targetEvent(QEvent *event) {
    switch (event->type()) {
    case QEvent::DragEnter: {
        // An element is welcome wherever it enters the tree: a refused entry would end the tree's
        // part in the drag, and the nodes that take it are judged as it moves over them.
        auto *e = static_cast<QDropEvent *>(event);
        if (elementOf(e->mimeData()) > 0 && m_handlers.accepts) {
            e->setDropAction(Qt::MoveAction);
            e->accept();
        } else {
            e->ignore();
        }
        return true;
    }
    case QEvent::DragMove: {
        auto *e = static_cast<QDropEvent *>(event);
        const QModelIndex node = m_target->indexAt(e->position().toPoint());
        if (elementOf(e->mimeData()) > 0 && m_handlers.accepts && m_handlers.accepts(node)) {
            e->setDropAction(Qt::MoveAction);
            e->accept();
        } else {
            e->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto *e = static_cast<QDropEvent *>(event);
        const QModelIndex node = m_target->indexAt(e->position().toPoint());
        const int element = elementOf(e->mimeData());
        if (element <= 0 || !m_handlers.accepts || !m_handlers.accepts(node)) {
            e->ignore();
            return true;
        }
        e->setDropAction(Qt::MoveAction);
        e->accept();
        // After the drag has ended: the drop handler may open a modal dialog.
        const QPersistentModelIndex target(node);
        QMetaObject::invokeMethod(
            this,
            [this, element, target] {
                if (m_handlers.drop && target.isValid())
                    Guarded([&] { m_handlers.drop(element, target); });
            },
            Qt::QueuedConnection);
        return true;
    }
    default:
        return false;
    }
}
