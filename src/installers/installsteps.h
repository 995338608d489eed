#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class Clock;

// The file steps both installers share. Failures throw InstallerError::fileSystem with the path and
// the system's reason. Synchronous; called on the caller's thread, no state.
namespace InstallSteps {

// The whole file, or none when it is absent, not a regular file or cannot be read.
std::optional<QByteArray> tryRead(const QString &path);
QByteArray read(const QString &path);
// True for any entry, a dangling symbolic link included.
bool entryExists(const QString &path);
// Creates the folder and any missing parents.
void createFolder(const QString &path);
// Local time as "yyyyMMdd-HHmmss", always in ASCII digits.
QString timestamp(const Clock &clock);
// folder/prefix + timestamp + suffix; when that is taken, a fresh timestamp plus "-" and eight
// upper-case UUID digits. The second name is not checked: the copy refuses to overwrite it.
QString uniqueBackupPath(const QString &folder, const QString &prefix, const QString &suffix,
                         const Clock &clock);
// Copies, never moves: the original stays in place until the atomic write replaces it.
void copyToBackup(const QString &source, const QString &backup);
// Writes a temporary file beside the destination and renames it into place.
void writeAtomically(const QString &path, const QByteArray &bytes);

} // namespace InstallSteps
