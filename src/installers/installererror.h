#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// What the installers throw. The description is a complete sentence for the user; the kind lets the
// caller and tests tell a damaged application (bundled file missing) from a file-system failure.
// A plain value; any thread.
class InstallerError : public std::exception
{
public:
    enum class Kind { missingBundledPreset, missingBundledMapping, noDestinationFolder, fileSystem };

    InstallerError(Kind kind, const QString &description);

    static InstallerError missingBundledPreset();
    static InstallerError missingBundledMapping();
    static InstallerError fileSystem(const QString &description);

    Kind kind() const { return m_kind; }
    QString description() const { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    Kind m_kind;
    QString m_description;
    QByteArray m_what;
};
