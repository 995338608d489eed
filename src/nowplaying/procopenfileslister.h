#pragma once

#include "nowplaying/openfileslister.h"

#include <QByteArray>
#include <QString>

// Lists a process's open files from /proc (Linux), in lsof's order: working directory, root,
// executable, mapped files, then descriptors by number. Only file-system paths are listed (no
// pipes or sockets); a name that is not UTF-8 is left out. Stateless; callable from any thread.
class ProcOpenFilesLister final : public OpenFilesLister
{
public:
    // The mapped files of a /proc/PID/maps text, each once, in order of first mapping, leaving out
    // anonymous mappings and the executable itself.
    static QStringList mappedPaths(const QByteArray &maps, const QString &executable);

    QStringList openPaths(qint64 processID) const override;
};
