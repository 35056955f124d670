#pragma once

#include <QString>
#include <QVariant>

// Window settings: one section per window under organisation "Korvant", application "Velmora"
// (an INI file in the user's configuration folder), values named by their property paths such as
// "<P>.Height" or "grSpec.<P>.Columns.<Item1>.Width".
class PropertyStore {
public:
    explicit PropertyStore(const QString &section) : m_section(section) {}
    const QString &section() const { return m_section; }
    void setSection(const QString &section) { m_section = section; }

    QVariant read(const QString &path, const QVariant &fallback = {}) const;
    void write(const QString &path, const QVariant &value) const;
    bool contains(const QString &path) const;

private:
    QString m_section;
};

// The user's data folder of the program, ~/.local/share/Korvant/Velmora (created when missing).
QString UserDataFolder();

// Where the database is: $VELMORA_DATABASE, else the "Database/Url" value of the settings file,
// else the embedded file Velmora.db in the user's data folder (the folder is created).
QString DatabaseLocation();
