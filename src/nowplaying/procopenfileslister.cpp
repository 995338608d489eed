#include "nowplaying/procopenfileslister.h"

#include <QFile>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <climits>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

std::optional<QString> decodedPath(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(bytes);
    if (decoder.hasError() || !text.startsWith(u'/'))
        return std::nullopt;
    return text;
}

std::optional<QString> linkTarget(int folder, const QByteArray &name)
{
    char buffer[PATH_MAX];
    const ssize_t length = ::readlinkat(folder, name.constData(), buffer, sizeof buffer);
    if (length <= 0)
        return std::nullopt;
    return decodedPath(QByteArray(buffer, length));
}

// The targets of the descriptor links, by descriptor number as lsof lists them.
QStringList descriptorPaths(const QByteArray &folder)
{
    QStringList paths;
    DIR *directory = ::opendir(folder.constData());
    if (!directory)
        return paths;
    std::vector<int> numbers;
    while (const dirent *entry = ::readdir(directory)) {
        bool isNumber = false;
        const int number = QByteArrayView(entry->d_name).toInt(&isNumber);
        if (isNumber)
            numbers.push_back(number);
    }
    std::sort(numbers.begin(), numbers.end());
    for (const int number : numbers) {
        if (const std::optional<QString> path = linkTarget(::dirfd(directory), QByteArray::number(number)))
            paths.append(*path);
    }
    ::closedir(directory);
    return paths;
}

} // namespace

QStringList ProcOpenFilesLister::mappedPaths(const QByteArray &maps, const QString &executable)
{
    QStringList paths;
    QSet<QByteArray> seenFiles;
    for (const QByteArray &mapping : maps.split('\n')) {
        const QByteArrayView line(mapping);
        // address perms offset device inode path; the path may hold spaces.
        qsizetype position = 0;
        QByteArrayView fields[5];
        for (QByteArrayView &field : fields) {
            while (position < line.size() && line[position] == ' ')
                ++position;
            const qsizetype start = position;
            while (position < line.size() && line[position] != ' ')
                ++position;
            field = line.sliced(start, position - start);
        }
        while (position < line.size() && line[position] == ' ')
            ++position;
        const QByteArrayView &device = fields[3];
        const QByteArrayView &inode = fields[4];
        if (inode.isEmpty() || inode == "0")
            continue;
        const std::optional<QString> path = decodedPath(line.sliced(position).toByteArray());
        if (!path || *path == executable)
            continue;
        // lsof reports each mapped file once, however many regions map it.
        const QByteArray file = device.toByteArray() + ' ' + inode.toByteArray();
        if (seenFiles.contains(file))
            continue;
        seenFiles.insert(file);
        paths.append(*path);
    }
    return paths;
}

QStringList ProcOpenFilesLister::openPaths(qint64 processID) const
{
    const QByteArray process = "/proc/" + QByteArray::number(processID) + '/';
    QStringList paths;
    for (const char *link : {"cwd", "root"}) {
        if (const std::optional<QString> path = linkTarget(AT_FDCWD, process + link))
            paths.append(*path);
    }
    const std::optional<QString> executable = linkTarget(AT_FDCWD, process + "exe");
    if (executable)
        paths.append(*executable);
    QFile maps(QFile::decodeName(process + "maps"));
    if (maps.open(QIODevice::ReadOnly))
        paths.append(mappedPaths(maps.readAll(), executable.value_or(QString())));
    paths.append(descriptorPaths(process + "fd"));
    return paths;
}
