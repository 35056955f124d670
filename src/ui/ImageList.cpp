// The shared icons, drawn on first use.
#include "ui/ImageList.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QVector>

namespace {

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

const ImageList &ToolBarImages() {
    static const ImageList images;
    return images;
}
