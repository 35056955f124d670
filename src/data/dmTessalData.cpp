#include "dmTessalData.h"

#include "Errors.h"
#include "TessalDialog.h"
#include "TessalLog.h"

#include <QPainter>
#include <QPainterPath>

TdmTessal *dmTessal = nullptr;

namespace {

// The driver's text as a box shows it: each line without the indents meant for a console.
QString boxLines(const QString &text) {
    QStringList lines = text.split(u'\n');
    for (QString &line : lines)
        line = line.trimmed();
    return lines.join(u'\n');
}

QString errorText(const std::exception &e) {
    if (const auto *app = dynamic_cast<const AppError *>(&e))
        return app->message();
    return QString::fromUtf8(e.what());
}

// Each icon: a background colour and a symbol, drawn once on first use.
struct IconSpec {
    QRgb colour;
    const char16_t *symbol;
};

const IconSpec Specs[] = {
    {0xff2e6db4, u"▦"}, {0xff7a4fb0, u"M"}, {0xffb07a2e, u"Д"}, {0xff2e9b5c, u"Р"}, {0xff2e8fb0, u"С"},
    {0xffb04f6d, u"П"}, {0xff555555, u"?"}, {0xff3f5f7f, u"V"}, {0xff2e9b5c, u"+"}, {0xffb08a2e, u"✎"},
    {0xffc0392b, u"×"}, {0xff2e6db4, u"↻"}, {0xff3f7f5f, u"▲"}, {0xff3f7f5f, u"▼"}, {0xff6d4fb0, u"⊕"},
    {0xffd4a017, u"★"}, {0xff9b7a2e, u"☆"}, {0xff2e8fb0, u"→"}, {0xff555555, u"▤"}, {0xff555555, u"⌕"},
    {0xff2e6db4, u"D"}, {0xff2e9b5c, u"W"}, {0xffb07a2e, u"V"}, {0xff3f5f7f, u"H"}, {0xff9b5c2e, u"M"},
    {0xff6d4fb0, u"S"}, {0xff2e9b5c, u"✓"}, {0xffc0392b, u"↶"}, {0xff2e8fb0, u"◎"}, {0xff2e6db4, u"≈"},
    {0xff2e9b5c, u"☑"}, {0xff2e9b5c, u"✔"}, {0xffd4a017, u"!"}, {0xffc0392b, u"‼"}, {0xff555555, u"≡"},
    {0xff6d4fb0, u"⇄"}, {0xff3f5f7f, u"∞"}, {0xff555555, u"▽"}, {0xff555555, u"⇅"}, {0xff2e6db4, u"▸"},
    {0xff555555, u"■"},
};

QImage drawIcon(int index) {
    QImage img(16, 16, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    const int n = int(std::size(Specs));
    const IconSpec &s = Specs[index % n];
    QColor c = QColor::fromRgba(s.colour);
    if (index >= n) // the rest of the list: the same symbols in a lighter shade
        c = c.lighter(130);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
    p.fillPath(path, c);
    p.setPen(Qt::white);
    QFont f;
    f.setPixelSize(11);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QString::fromUtf16(s.symbol));
    return img;
}

} // namespace

QImage ImageList::image(int index) const {
    if (index < 0 || index >= Count)
        return {};
    static QVector<QImage> cache(Count);
    if (cache[index].isNull())
        cache[index] = drawIcon(index);
    return cache[index];
}

QIcon ImageList::icon(int index) const {
    const QImage img = image(index);
    return img.isNull() ? QIcon() : QIcon(QPixmap::fromImage(img));
}

TdmTessal::TdmTessal(const QString &url, QObject *parent) : QObject(parent) {
    dmTessal = this;
    DataModuleCreate(url.isEmpty() ? DatabaseLocation() : url);
}

TdmTessal::~TdmTessal() {
    if (dmTessal == this)
        dmTessal = nullptr;
}

void TdmTessal::DataModuleCreate(const QString &url) {
    // Two attempts, each given up after the connection time-out. The first failure is not shown:
    // the user reads one box, in Russian, with the driver's words below it.
    QString reason;
    for (int attempt = 0; attempt < 2 && !cnGeneral.isOpen(); ++attempt) {
        try {
            cnGeneral.open(url);
        } catch (const std::exception &e) {
            reason = errorText(e);
        }
    }
    if (!cnGeneral.isOpen()) {
        refuseStart(QStringLiteral("Сервер данных недоступен.") + u'\n' + boxLines(reason), reason);
        return;
    }
    // A database this program cannot use (of a newer program, damaged, an upgrade that failed) is
    // left as it is and stops the start as well.
    try {
        if (prepareDatabase)
            prepareDatabase(cnGeneral);
    } catch (const std::exception &e) {
        cnGeneral.close();
        const QString message = errorText(e);
        refuseStart(ExceptionText(message), message);
    }
}

void TdmTessal::refuseStart(const QString &shown, const QString &logged) {
    m_startError = shown;
    ShowError(shown);
    try {
        m_logFile = WriteAppLog(logged);
    } catch (const AppError &e) {
        // Nowhere to write: the reason still reaches the standard error stream of the program.
        m_startError += u'\n' + e.message();
    }
}
