#pragma once

#include <QFont>
#include <QStringList>

// The typefaces the program names come from another desktop and are often missing here: each is
// asked for by its name first and then by installed faces of the same character (a heavy condensed
// sans for "Impact", a monospaced one for "Courier New"), so that a missing face never falls to
// whatever font the system would pick (dingbats were seen for "Impact").

// The families to ask for, in order: the named one first, then its stand-ins.
QStringList FontFamilies(const QString &family);

// Sets the font's families to FontFamilies(family); when the named face is not installed and it is
// a heavy one ("Impact"), its stand-in is asked for in bold.
void ApplyNamedFont(QFont &font, const QString &family);

// A font of the named family, `pixelSize` pixels high.
QFont NamedFont(const QString &family, int pixelSize, bool bold = false);
