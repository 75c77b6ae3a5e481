#include "hostapps/qmbundle.h"

#include "hostapps/qmfilemanager.h"
#include "platform/bundle.h"

QMBundle::QMBundle(std::unique_ptr<Bundle> bundle)
    : m_cfBundle(std::move(bundle))
{ }

QMBundle::~QMBundle() = default;

std::unique_ptr<QMBundle> QMBundle::bundleWithPath(const QString &path)
{
    QMFileManager *fileManager = QMFileManager::defaultManager();
    if (!fileManager)
        return nullptr;
    const QString info = path + QStringLiteral("/Contents/Info.plist");
    bool isDirectory = false;
    if (!fileManager->fileExistsAtPath(info, &isDirectory) || isDirectory
        || !fileManager->isReadableFileAtPath(info))
        return nullptr;
    // Bundle::create reads the folder afresh: there is no cache to flush.
    auto bundle = Bundle::create(path);
    if (!bundle)
        return nullptr;
    return std::unique_ptr<QMBundle>(new QMBundle(std::move(bundle)));
}

QVariant QMBundle::objectForInfoDictionaryKey(const QString &key) const
{
    return m_cfBundle->valueForInfoDictionaryKey(key);
}

std::optional<QString> QMBundle::bundleIdentifier() const
{
    return m_cfBundle->bundleIdentifier();
}

std::optional<QString> QMBundle::executablePath() const
{
    return m_cfBundle->executablePath();
}
