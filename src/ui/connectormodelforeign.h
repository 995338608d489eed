#pragma once

#include "app/connectormodel.h"

#include <QtQml/qqml.h>

// Makes the application model known to QML as a type, so the window can declare
// `required property ConnectorModel model`. The application creates the one instance itself.
struct ConnectorModelForeign
{
    Q_GADGET
    QML_FOREIGN(ConnectorModel)
    QML_NAMED_ELEMENT(ConnectorModel)
    QML_UNCREATABLE("The connector model is created once by the application.")
};
