#include "installers/resourcesfolder.h"

#include <QDir>

using namespace Qt::StringLiterals;

// The executable is Contents/MacOS/ of the app bundle; the shipped files are in Contents/Resources.
QString resourcesFolderBeside(const QString &executableFolder)
{
    return QDir::cleanPath(executableFolder + u"/../Resources"_s);
}
