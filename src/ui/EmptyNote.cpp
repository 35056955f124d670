#include "ui/EmptyNote.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QEvent>
#include <QTimer>

EmptyNote::EmptyNote(QAbstractItemView *view, std::function<QString()> note)
    : QLabel(view->viewport()), m_view(view), m_note(std::move(note)) {
    setObjectName(QStringLiteral("lbEmptyNote"));
    setAlignment(Qt::AlignCenter);
    setWordWrap(true);
    setTextFormat(Qt::PlainText);
    setForegroundRole(QPalette::PlaceholderText);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
    view->viewport()->installEventFilter(this);
    if (QAbstractItemModel *model = view->model()) {
        // At once, and again when the change is complete: a view may note what it loaded only
        // after its rows are in.
        const auto changed = [this] {
            refresh();
            if (!m_queued) {
                m_queued = true;
                QTimer::singleShot(0, this, [this] {
                    m_queued = false;
                    refresh();
                });
            }
        };
        connect(model, &QAbstractItemModel::modelReset, this, changed);
        connect(model, &QAbstractItemModel::rowsInserted, this, changed);
        connect(model, &QAbstractItemModel::rowsRemoved, this, changed);
        connect(model, &QAbstractItemModel::layoutChanged, this, changed);
    }
    refresh();
}

void EmptyNote::refresh() {
    const QAbstractItemModel *model = m_view->model();
    const bool empty = !model || model->rowCount() == 0;
    QString text;
    if (empty) {
        try {
            text = m_note();
        } catch (...) {
            text.clear(); // a list that cannot be read says nothing here
        }
    }
    if (text != this->text())
        setText(text);
    place();
    setVisible(!text.isEmpty());
}

void EmptyNote::place() {
    const QRect area = m_view->viewport()->rect().adjusted(8, 8, -8, -8);
    const int height = qMin(area.height(), heightForWidth(area.width()) > 0 ? heightForWidth(area.width())
                                                                            : sizeHint().height());
    setGeometry(area.left(), area.top() + qMax(0, (area.height() - height) / 3), area.width(), height);
}

bool EmptyNote::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_view->viewport() && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        place();
    return QLabel::eventFilter(watched, event);
}

void EndEmptyNotes(QWidget *host) {
    qDeleteAll(host->findChildren<EmptyNote *>());
}
