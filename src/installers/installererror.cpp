#include "installers/installererror.h"

using namespace Qt::StringLiterals;

InstallerError::InstallerError(Kind kind, const QString &description)
    : m_kind(kind)
    , m_description(description)
    , m_what(description.toUtf8())
{}

InstallerError InstallerError::missingBundledPreset()
{
    return {Kind::missingBundledPreset,
            u"The included Tarvik Remote preset is missing. Reinstall the app and try again."_s};
}

InstallerError InstallerError::missingBundledMapping()
{
    return {Kind::missingBundledMapping,
            u"The included VirtualDJ mapping files are missing. Reinstall DJ Connector and try again."_s};
}

InstallerError InstallerError::fileSystem(const QString &description)
{
    return {Kind::fileSystem, description};
}
