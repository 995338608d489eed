#pragma once

#include <QSettings>
#include <QString>
#include <QVariantMap>

#include <atomic>
#include <memory>

class QTemporaryFile;

// The router's settings file, read with QSettings and written whole: a private copy beside the file
// takes the new values, is flushed to disk and renamed over it, so values written together land
// together or not at all, and keys that others wrote stay. No QSettings object outlives one call, so
// Qt's deferred sync can never run on another thread against these values. Not thread-safe: its owner
// serialises the calls, which debug builds check.
class SettingsStore
{
public:
    SettingsStore(QString fileName, QSettings::Format format);
    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    QString fileName() const { return m_fileName; }
    // Every key in the file with its value; empty when there is no file or it cannot be read.
    QVariantMap read() const;
    // True once the values are on disk together with every other key of the file; otherwise the
    // file is left as it was.
    bool write(const QVariantMap &values);

private:
    // Marks the store busy for one call; two threads inside at once is a fault of the owner.
    class SoleCaller
    {
    public:
        explicit SoleCaller(std::atomic<bool> &busy);
        ~SoleCaller();
        SoleCaller(const SoleCaller &) = delete;
        SoleCaller &operator=(const SoleCaller &) = delete;

    private:
        std::atomic<bool> &m_busy;
    };

    // A closed copy of the file (empty while there is none) made from the template, readable by this
    // user only, or none when the copy cannot be made or an existing file cannot be read.
    std::unique_ptr<QTemporaryFile> copyOfFile(const QString &templateName) const;

    // Run under the file's lock, once per store: what a killed writer left beside the file.
    void removeLeftovers(const QString &folder) const;

    const QString m_fileName;
    const QSettings::Format m_format;
    mutable std::atomic<bool> m_busy = false;
    bool m_leftoversRemoved = false;
};
