#include "core/connectorconstants.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const QString versionLine = ConnectorConstants::productName() + u' ' + ConnectorConstants::version()
                                + u" ("_s + ConnectorConstants::build() + u')';
    if (app.arguments().contains(u"--version"_s)) {
        out << versionLine << Qt::endl;
        return 0;
    }
    out << versionLine << Qt::endl
        << "The connector is not yet assembled: its MIDI source, router and server arrive in later builds."
        << Qt::endl;
    return 0;
}
