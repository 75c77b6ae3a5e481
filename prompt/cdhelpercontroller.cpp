#include "prompt/cdhelpercontroller.h"

#include "host/hostproduct.h"
#include "hostapps/qmfilemanager.h"
#include "hostapps/workspaceadditions.h"
#include "platform/eventdescriptor.h"
#include "platform/launchservices.h"
#include "platform/systemlog.h"
#include "platform/volumefiles.h"
#include "prefs/cdtools.h"
#include "prefs/helperchoice.h"
#include "prompt/autoruninf.h"
#include "prompt/discicon.h"
#include "prompt/promptlog_p.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QStyle>

namespace {

const QString kPath = QStringLiteral("path");
const QString kDisplayName = QStringLiteral("displayname");
const QString kID = QStringLiteral("ID");
const QString kIdentifyingURLScheme = QStringLiteral("IdentifyingURLScheme");

// Texts are the same when their characters and their presence are.
bool same(const QString &a, const QString &b)
{
    return a == b && a.isNull() == b.isNull();
}

QIcon opticalDiscIcon()
{
    QIcon icon = QIcon::fromTheme(QStringLiteral("media-optical"));
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(QStyle::SP_DriveCDIcon);
    return icon;
}

QIcon volumeIcon(const QString &volumePath, const AutorunInf &inf)
{
    if (inf.iconPath()) {
        const auto bytes = readVolumeFile(volumePath, *inf.iconPath(), AutorunInf::kMaxIconSize);
        if (bytes) {
            DiscIcon icon = DiscIcon::fromData(*bytes);
            if (!icon.icon.isNull())
                return icon.icon;
            // Quoted: a disc's names may hold line breaks, the log's lines may not.
            qCInfo(lcPrompt).nospace()
                << "The icon " << *inf.iconPath() << " of the volume at " << volumePath
                << " is not shown: " << icon.error.toUtf8().constData();
        }
    }
    return opticalDiscIcon();
}

} // namespace

std::shared_ptr<CDHelperController> CDHelperController::create(const QString &windowNibPath,
                                                               PromptServices &services)
{
    return std::make_shared<CDHelperController>(windowNibPath, services);
}

CDHelperController::CDHelperController(const QString &windowNibPath, PromptServices &services)
    : QMWindowController(windowNibPath)
    , m_services(services)
{ }

CDHelperController::~CDHelperController() = default;

void CDHelperController::setCDImage(const QIcon &image)
{
    if (image.cacheKey() == m_image.cacheKey())
        return;
    m_image = image;
    Q_EMIT CDImageChanged();
}

void CDHelperController::setCDLabel(const QString &label)
{
    if (same(label, m_label))
        return;
    m_label = label;
    Q_EMIT CDLabelChanged();
}

void CDHelperController::setVolumePath(const QString &path)
{
    if (same(path, m_volumePath))
        return;
    m_volumePath = path;
    Q_EMIT volumePathChanged();
    const AutorunInf inf = AutorunInf::readFromVolume(m_volumePath);
    setCDImage(volumeIcon(m_volumePath, inf));
    setCDLabel(inf.label() ? *inf.label()
                           : QMFileManager::defaultManager()->displayNameAtPath(m_volumePath));
}

void CDHelperController::setPackageName(const QString &name)
{
    if (same(name, m_packageName))
        return;
    m_packageName = name;
    Q_EMIT packageNameChanged();
    Q_EMIT isSupportedChanged();
}

void CDHelperController::setQuillmontAppList(const QVariantList &list)
{
    if (list == m_appList)
        return;
    m_appList = list;
    Q_EMIT quillmontAppListChanged();
}

void CDHelperController::setSelectedApp(int index)
{
    if (index == m_selectedApp)
        return;
    m_selectedApp = index;
    Q_EMIT selectedAppChanged();
}

void CDHelperController::setRememberSelection(bool remember)
{
    if (remember == m_rememberSelection)
        return;
    m_rememberSelection = remember;
    Q_EMIT rememberSelectionChanged();
}

bool CDHelperController::isSupported() const
{
    return !m_packageName.isNull()
        && m_packageName.compare(QString::fromUtf16(HostProduct::kUnrecognisedDisc),
                                 Qt::CaseInsensitive)
        != 0;
}

void CDHelperController::awakeFromNib()
{
    QMWindowController::awakeFromNib();
    m_appPopup = window()->findChild<QComboBox *>(QStringLiteral("appPopup"));
    m_appPopupLabel = window()->findChild<QLabel *>(QStringLiteral("appPopupLabel"));
    // The helper's own icon, as its desktop entry names it, for switchers
    // that take it from the window (X11).
    window()->setWindowIcon(opticalDiscIcon());

    QVariantList list;
    for (const HostApplicationRecord &record : hostApplications()) {
        const auto path = QM_absolutePathForAppBundleWithIdentifier(
            m_services.workspace, record.bundleID, record.identifyingURLScheme);
        if (!path)
            continue;
        list += QVariantMap {
            { kPath, *path },
            { kDisplayName, QMFileManager::defaultManager()->displayNameAtPath(*path) },
            { kID, record.bundleID },
            { kIdentifyingURLScheme, record.identifyingURLScheme },
        };
    }

    // One application leaves nothing to choose.
    if (list.size() == 1) {
        if (m_appPopup)
            m_appPopup->setHidden(true);
        if (m_appPopupLabel)
            m_appPopupLabel->setHidden(true);
    }
    if (!list.isEmpty()) {
        // The first entry is chosen, whatever was chosen before the window.
        setSelectedApp(0);
        setQuillmontAppList(list);
        return;
    }
    systemLog(QStringLiteral("Unable to locate Quillmont or Quillmont games.  Exiting.\n"));
    if (m_services.terminate)
        m_services.terminate();
}

void CDHelperController::openVolume(QObject *sender)
{
    (void)sender;
    close(); // we stay valid until this event has been handled
    if (!mayAct())
        return;
    setAutoLaunchPref(true);
    if (const auto entry = selectedEntry(); entry && m_services.installer) {
        m_services.installer->installVolume(
            m_volumePath, { textValue(*entry, kID), textValue(*entry, kIdentifyingURLScheme) },
            std::nullopt);
    }
}

void CDHelperController::expressInstall(QObject *sender)
{
    (void)sender;
    close();
    if (!mayAct())
        return;
    EventDescriptor parameters = EventDescriptor::recordDescriptor();
    parameters.setDescriptorForKeyword(
        EventDescriptor::descriptorWithString(QString::fromUtf16(HostProduct::kExpressValue)),
        HostProduct::kExpressKeyword);
    // Always the main edition, whatever is chosen.
    if (m_services.installer) {
        m_services.installer->installVolume(
            m_volumePath,
            { HostProduct::mainBundleIdentifier(), HostProduct::mainIdentifyingURLScheme() },
            parameters);
    }
}

void CDHelperController::ignoreVolume(QObject *sender)
{
    (void)sender;
    close();
    if (mayAct())
        setAutoLaunchPref(false);
}

void CDHelperController::setAutoLaunchPref(bool install)
{
    if (!m_rememberSelection)
        return;
    const auto entry = selectedEntry();
    if (!entry)
        return;
    const std::unique_ptr<UserDefaults> defaults = m_services.makeUserDefaults();
    CDTools tools(*defaults, m_services.workspace, m_services.helperResourcePath);
    (void)tools.updateHelperPrefForAllInstalls(
        int(install ? AutoLaunch::OpenAtOnce : AutoLaunch::Ignore),
        textValue(*entry, kID).value_or(QString()), textValue(*entry, kIdentifyingURLScheme));
}

bool CDHelperController::mayAct() const
{
    return !m_services.willAct || m_services.willAct(m_volumePath);
}

std::optional<QVariantMap> CDHelperController::selectedEntry() const
{
    if (m_selectedApp < 0 || m_selectedApp >= m_appList.size())
        return std::nullopt;
    return m_appList.at(m_selectedApp).toMap();
}
