#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

// The maker's published update manifest.
struct UpdateManifest
{
    QString version;
    qint64 build = 0;
    QUrl downloadURL;

    // Strict: "version" string, "build" integral number within 64 bits, "download_url" an absolute
    // http or https URL (a manifest must not make the window open file: or custom-scheme links).
    // Other keys are ignored.
    static std::optional<UpdateManifest> decode(const QByteArray &json);
};

// What the update check tells the user about a manifest.
struct UpdateVerdict
{
    QString message;
    QUrl downloadURL; // empty unless a newer build is published
};

UpdateVerdict judgeUpdate(const UpdateManifest &manifest, const QString &currentBuild);
