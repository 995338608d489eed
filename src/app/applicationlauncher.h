#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Finds and opens desktop applications. On Linux an application registered under a bundle
// identifier is the XDG desktop entry "<identifier>.desktop" in the applications folders.
// Lives on the main thread.
class ApplicationLauncher
{
public:
    virtual ~ApplicationLauncher() = default;
    // The location of the application registered under the identifier, or none.
    virtual std::optional<QString> locate(const QString &bundleIdentifier) const = 0;
    virtual bool exists(const QString &path) const = 0;
    // Opens the application without waiting; `completion` runs later on the main thread with an
    // error description, or none on success.
    virtual void open(const QString &location,
                      std::function<void(std::optional<QString> error)> completion) = 0;
};

// Desktop entries in the given folders (default: the system's application folders); opening runs
// the entry's Exec line, or the application file itself, detached.
class SystemApplicationLauncher final : public ApplicationLauncher
{
public:
    explicit SystemApplicationLauncher(QStringList applicationFolders = {});

    std::optional<QString> locate(const QString &bundleIdentifier) const override;
    bool exists(const QString &path) const override;
    void open(const QString &location, std::function<void(std::optional<QString> error)> completion) override;

private:
    QStringList m_applicationFolders;
};
