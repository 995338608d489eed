#pragma once

#include <QString>
#include <QUrl>

// Product constants shared by the window, the update check and the support link.
namespace ConnectorConstants {

QString productName();
QString version();
QString build();
QString supportProduct();
// Reverse-DNS prefix of the application's identifiers (thread names and the like).
QString identifierPrefix();
QUrl updateManifestURL();
QUrl supportPageURL();

} // namespace ConnectorConstants
