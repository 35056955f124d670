#include "ui/Fonts.h"

#include <QFontDatabase>

namespace {

struct StandIn {
    const char *family;
    QFont::StyleHint hint;
    bool heavy; // the named face is bold by design; a stand-in must be asked for in bold
    QStringList standIns;
};

// Debian's fonts-liberation and fonts-dejavu-extra carry the stand-ins (scripts/install-deps.sh).
const StandIn &standInOf(const QString &family) {
    static const StandIn table[] = {
        {"Impact",
         QFont::SansSerif,
         true,
         {QStringLiteral("Liberation Sans Narrow"), QStringLiteral("DejaVu Sans Condensed"),
          QStringLiteral("DejaVu Sans")}},
        {"Tahoma",
         QFont::SansSerif,
         false,
         {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")}},
        {"Lucida Sans Unicode",
         QFont::SansSerif,
         false,
         {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")}},
        {"Courier New",
         QFont::Monospace,
         false,
         {QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono")}},
    };
    static const StandIn none{"", QFont::AnyStyle, false, {QStringLiteral("DejaVu Sans")}};
    for (const StandIn &s : table)
        if (family.compare(QLatin1String(s.family), Qt::CaseInsensitive) == 0)
            return s;
    return none;
}

} // namespace

QStringList FontFamilies(const QString &family) {
    QStringList result{family};
    for (const QString &f : standInOf(family).standIns)
        if (!result.contains(f, Qt::CaseInsensitive))
            result << f;
    return result;
}

void ApplyNamedFont(QFont &font, const QString &family) {
    const StandIn &s = standInOf(family);
    font.setFamilies(FontFamilies(family));
    font.setStyleHint(s.hint);
    if (s.heavy && !QFontDatabase::hasFamily(family))
        font.setBold(true);
}

QFont NamedFont(const QString &family, int pixelSize, bool bold) {
    QFont font;
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    ApplyNamedFont(font, family);
    return font;
}
