#include "nowplaying/systemrunningapplications.h"

#include <QByteArray>

#include <algorithm>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The process name, or nothing when the process ended since /proc was listed.
std::optional<QString> processName(qint64 processID)
{
    const QByteArray path = "/proc/" + QByteArray::number(processID) + "/comm";
    const int file = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return std::nullopt;
    char buffer[64];
    const ssize_t length = ::read(file, buffer, sizeof buffer);
    ::close(file);
    if (length < 0)
        return std::nullopt;
    QByteArrayView name(buffer, length);
    if (name.endsWith('\n'))
        name.chop(1);
    return QString::fromUtf8(name);
}

} // namespace

QList<RunningApplication> SystemRunningApplications::list() const
{
    std::vector<qint64> processIDs;
    if (DIR *proc = ::opendir("/proc")) {
        while (const dirent *entry = ::readdir(proc)) {
            bool isNumber = false;
            const qint64 processID = QByteArrayView(entry->d_name).toLongLong(&isNumber);
            if (isNumber)
                processIDs.push_back(processID);
        }
        ::closedir(proc);
    }
    std::sort(processIDs.begin(), processIDs.end());

    QList<RunningApplication> applications;
    for (const qint64 processID : processIDs) {
        if (const std::optional<QString> name = processName(processID))
            applications.append({processID, *name, QString()});
    }
    return applications;
}
