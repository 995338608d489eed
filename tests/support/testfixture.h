#pragma once

#include "fakeclock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

// A temporary folder with a fresh settings file, and QStandardPaths in test mode. Create one per
// test function (or per init()) so no state leaks between cases.
class TestFixture
{
public:
    TestFixture()
    {
        QStandardPaths::setTestModeEnabled(true);
        Q_ASSERT(m_dir.isValid());
    }

    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    // A settings store backed by a file inside the temporary folder; the same file every call.
    std::shared_ptr<QSettings> settings() const
    {
        return std::make_shared<QSettings>(settingsFilePath(), QSettings::IniFormat);
    }
    QString settingsFilePath() const { return path(QStringLiteral("settings.ini")); }
    // Writes bytes to a file under the temporary folder, creating its folders.
    QString writeFile(const QString &relative, const QByteArray &bytes) const
    {
        const QString filePath = path(relative);
        QDir().mkpath(QFileInfo(filePath).absolutePath());
        QFile file(filePath);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("could not write test file %s", qPrintable(filePath));
        return filePath;
    }

private:
    QTemporaryDir m_dir;
};
