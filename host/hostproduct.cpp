#include "host/hostproduct.h"

namespace HostProduct {

QStringList editionNames()
{
    return { QString::fromUtf16(kMainEdition), QString::fromUtf16(kGamesEdition) };
}

QString bundleIdentifier(const QString &edition)
{
    return QStringLiteral("com.tallowcraft.%1").arg(edition);
}

QString identifyingURLScheme(const QString &edition)
{
    return QStringLiteral("com.tallowcraft.private-%1-app-scheme").arg(edition);
}

QString mainBundleIdentifier()
{
    return bundleIdentifier(QString::fromUtf16(kMainEdition));
}

QString mainIdentifyingURLScheme()
{
    return identifyingURLScheme(QString::fromUtf16(kMainEdition));
}

QString probeURL(const QString &scheme)
{
    return scheme + QStringLiteral(":fake");
}

QStringList detectcdPathComponents()
{
    return { QStringLiteral("Quillmont"), QStringLiteral("bin"), QStringLiteral("detectcd") };
}

} // namespace HostProduct
