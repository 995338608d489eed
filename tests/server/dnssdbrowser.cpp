#include "dnssdbrowser.h"

#include <QProcess>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

// avahi-browse -p writes "\032" for a space and "\." for a dot.
QString unescape(const QString &text)
{
    QString plain;
    for (qsizetype index = 0; index < text.size(); ++index) {
        if (text[index] != u'\\' || index + 1 >= text.size()) {
            plain += text[index];
        } else if (index + 3 < text.size() && text[index + 1].isDigit()) {
            plain += QChar(text.mid(index + 1, 3).toInt());
            index += 3;
        } else {
            plain += text[++index];
        }
    }
    return plain;
}

} // namespace

bool dnssdBrowserAvailable()
{
    return !QStandardPaths::findExecutable(u"avahi-browse"_s).isEmpty();
}

QList<BrowsedService> browseDNSSD(const QString &type)
{
    QProcess browser;
    browser.start(u"avahi-browse"_s, {u"-rtp"_s, type});
    if (!browser.waitForFinished(30'000)) {
        browser.kill();
        browser.waitForFinished();
        return {};
    }
    QList<BrowsedService> services;
    for (const QByteArray &line : browser.readAllStandardOutput().split('\n')) {
        const QStringList fields = QString::fromUtf8(line).split(u';');
        if (fields.size() >= 9 && fields[0] == "="_L1 && fields[4] == type)
            services.append({unescape(fields[3]), fields[7], fields[8].toInt()});
    }
    return services;
}
