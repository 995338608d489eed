#pragma once

#include "fakeclock.h"

#include <QSettings>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A temporary folder with a fresh settings file, and QStandardPaths in test mode. Create one per
// test function (or per init()) so no state leaks between cases.
class TestFixture
{
public:
    TestFixture();

    QString path(const QString &relative = {}) const;
    // A settings store backed by a file inside the temporary folder; the same file every call.
    std::shared_ptr<QSettings> settings() const;
    QString settingsFilePath() const;
    // Writes bytes to a file under the temporary folder, creating its folders.
    QString writeFile(const QString &relative, const QByteArray &bytes) const;

private:
    QTemporaryDir m_dir;
};
