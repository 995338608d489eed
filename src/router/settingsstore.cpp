#include "router/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryFile>

#include <chrono>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// As long as QSettings elsewhere (the selected platform, a one-shot command) may hold the file's lock.
constexpr int kLockTimeoutMs = 10000;
// A writer killed while creating the lock leaves it empty, and Qt can judge such a lock only by its
// age; every write here takes milliseconds, so it need not block saves for Qt's default 30 seconds.
constexpr std::chrono::milliseconds kStaleLockAge{2000};

} // namespace

SettingsStore::SoleCaller::SoleCaller(std::atomic<bool> &busy)
    : m_busy(busy)
{
    const bool wasBusy = m_busy.exchange(true);
    Q_ASSERT_X(!wasBusy, "SettingsStore", "entered from two threads at once");
    Q_UNUSED(wasBusy)
}

SettingsStore::SoleCaller::~SoleCaller()
{
    m_busy = false;
}

SettingsStore::SettingsStore(QString fileName, QSettings::Format format)
    : m_fileName(std::move(fileName))
    , m_format(format)
{}

QVariantMap SettingsStore::read() const
{
    const SoleCaller soleCaller(m_busy);
    QVariantMap values;
    // A private copy where one can be made: QSettings keeps parsed files in a cache shared by every
    // object on the same name in this process, which could answer with an older state of the file.
    const std::unique_ptr<QTemporaryFile> copy = copyOfFile(QDir::tempPath() + u"/settings.XXXXXX"_s);
    const QSettings settings(copy ? copy->fileName() : m_fileName, m_format);
    for (const QString &key : settings.allKeys())
        values.insert(key, settings.value(key));
    return values;
}

bool SettingsStore::write(const QVariantMap &values)
{
    const SoleCaller soleCaller(m_busy);
    const QString folder = QFileInfo(m_fileName).absolutePath();
    if (!QDir().mkpath(folder))
        return false;
    // The lock QSettings takes on the same file, so no other writer lands between the copy and the rename.
    QLockFile lock(m_fileName + u".lock"_s);
    lock.setStaleLockTime(kStaleLockAge);
    if (!lock.tryLock(kLockTimeoutMs))
        return false;
    if (!m_leftoversRemoved) {
        removeLeftovers(folder);
        m_leftoversRemoved = true;
    }
    const std::unique_ptr<QTemporaryFile> copy = copyOfFile(m_fileName + u".XXXXXX"_s);
    if (!copy)
        return false;
    if (QFile::exists(m_fileName))
        copy->setPermissions(QFile::permissions(m_fileName));
    {
        // Its sync writes through QSaveFile, which flushes the copy to disk before it is renamed.
        QSettings settings(copy->fileName(), m_format);
        for (auto value = values.cbegin(); value != values.cend(); ++value)
            settings.setValue(value.key(), value.value());
        settings.sync();
        if (settings.status() != QSettings::NoError)
            return false;
    }
    if (std::rename(QFile::encodeName(copy->fileName()).constData(), QFile::encodeName(m_fileName).constData())
        != 0)
        return false;
    copy->setAutoRemove(false);
    return true;
}

void SettingsStore::removeLeftovers(const QString &folder) const
{
    // Copies, their QSaveFile stages and their locks follow the file's name with six random
    // characters. Under the file's lock no writer has one open, so any found was left by a process
    // that died while writing.
    const QDir directory(folder);
    const QString pattern = QFileInfo(m_fileName).fileName() + u".??????*"_s;
    for (const QString &leftover : directory.entryList({pattern}, QDir::Files | QDir::Hidden | QDir::System))
        QFile::remove(directory.filePath(leftover));
}

std::unique_ptr<QTemporaryFile> SettingsStore::copyOfFile(const QString &templateName) const
{
    auto copy = std::make_unique<QTemporaryFile>(templateName);
    if (!copy->open())
        return nullptr;
    QFile file(m_fileName);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly))
            return nullptr;
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError || copy->write(bytes) != bytes.size())
            return nullptr;
    }
    copy->close();
    return copy;
}
