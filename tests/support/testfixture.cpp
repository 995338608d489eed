#include "testfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

TestFixture::TestFixture()
{
    QStandardPaths::setTestModeEnabled(true);
    Q_ASSERT(m_dir.isValid());
}

QString TestFixture::path(const QString &relative) const
{
    return relative.isEmpty() ? m_dir.path() : m_dir.filePath(relative);
}

std::shared_ptr<QSettings> TestFixture::settings() const
{
    return std::make_shared<QSettings>(settingsFilePath(), QSettings::IniFormat);
}

QString TestFixture::settingsFilePath() const
{
    return m_dir.filePath(u"settings.ini"_s);
}

QString TestFixture::writeFile(const QString &relative, const QByteArray &bytes) const
{
    const QString filePath = m_dir.filePath(relative);
    QDir().mkpath(QFileInfo(filePath).absolutePath());
    QFile file(filePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("could not write test file %s", qPrintable(filePath));
    return filePath;
}
