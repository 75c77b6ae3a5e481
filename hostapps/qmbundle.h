// The bundle reader: an application bundle opened by path, read from disk at
// the moment of opening.
#pragma once

#include "util/qmobject.h"

#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

class Bundle;

class QMBundle : public QMObject
{
public:
    // A reader for the bundle at 'path'; null unless the folder holds a
    // readable file Contents/Info.plist (checked through the shared file
    // manager) and the bundle opens.
    [[nodiscard]] static std::unique_ptr<QMBundle> bundleWithPath(const QString &path);

    ~QMBundle();
    QMBundle(const QMBundle &) = delete;
    QMBundle &operator=(const QMBundle &) = delete;

    // The value of a key of the information dictionary, localized where the
    // bundle has a translation; invalid when the key is absent.
    [[nodiscard]] QVariant objectForInfoDictionaryKey(const QString &key) const;
    [[nodiscard]] std::optional<QString> bundleIdentifier() const;
    [[nodiscard]] std::optional<QString> executablePath() const;

private:
    explicit QMBundle(std::unique_ptr<Bundle> bundle);

    std::unique_ptr<Bundle> m_cfBundle; // never null
};
