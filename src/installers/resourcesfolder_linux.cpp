#include "installers/resourcesfolder.h"

#include <QDir>

using namespace Qt::StringLiterals;

// The build copies resources/ to share/ beside bin/, the same layout as an installed tree.
QString resourcesFolderBeside(const QString &executableFolder)
{
    return QDir::cleanPath(executableFolder + u"/../share/tarvik-dj-connector"_s);
}
