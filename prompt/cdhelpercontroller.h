// The install prompt: the window the helper shows when an installer volume
// has been mounted and no remembered choice decides what to do with it. It
// shows the disc's icon, label and product name, offers the installed host
// applications, and installs, installs with the express option, or ignores.
#pragma once

#include "prompt/promptservices.h"
#include "prompt/qmwindowcontroller.h"

#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QPointer>
#include <QString>
#include <QVariantList>

#include <memory>

class CDHelperController : public QMWindowController
{
    Q_OBJECT
    // The keys the window shows and edits. Every setter given the value the
    // key holds does nothing and emits nothing.
    Q_PROPERTY(QIcon CDImage READ CDImage WRITE setCDImage NOTIFY CDImageChanged)
    Q_PROPERTY(QString CDLabel READ CDLabel WRITE setCDLabel NOTIFY CDLabelChanged)
    Q_PROPERTY(QString volumePath READ volumePath WRITE setVolumePath NOTIFY volumePathChanged)
    Q_PROPERTY(QString packageName READ packageName WRITE setPackageName NOTIFY packageNameChanged)
    Q_PROPERTY(QVariantList quillmontAppList READ quillmontAppList WRITE setQuillmontAppList NOTIFY
                   quillmontAppListChanged)
    Q_PROPERTY(int selectedApp READ selectedApp WRITE setSelectedApp NOTIFY selectedAppChanged)
    Q_PROPERTY(bool rememberSelection READ rememberSelection WRITE setRememberSelection NOTIFY
                   rememberSelectionChanged)
    // Derived from packageName, and notified with it.
    Q_PROPERTY(bool isSupported READ isSupported NOTIFY isSupportedChanged)

public:
    // The window description the helper uses: CDHelper.ui in its resources.
    static constexpr char16_t kWindowNibName[] = u"CDHelper";

    // A prompt whose window is described at 'windowNibPath'. 'services' must
    // outlive the controller.
    [[nodiscard]] static std::shared_ptr<CDHelperController> create(const QString &windowNibPath,
                                                                    PromptServices &services);
    // For std::make_shared only; use create().
    CDHelperController(const QString &windowNibPath, PromptServices &services);
    ~CDHelperController() override;

    // The volume's icon.
    [[nodiscard]] QIcon CDImage() const { return m_image; }
    void setCDImage(const QIcon &image);
    // The volume's name as shown.
    [[nodiscard]] QString CDLabel() const { return m_label; }
    void setCDLabel(const QString &label);
    // Where the volume is mounted. Setting a new one also sets CDImage and
    // CDLabel: the icon and label named by the volume's autorun.inf, else the
    // desktop's optical-disc icon and the volume's display name.
    [[nodiscard]] QString volumePath() const { return m_volumePath; }
    void setVolumePath(const QString &path);
    // The product found on the disc, as the helper names it; null when the
    // disc's identifier could not be read.
    [[nodiscard]] QString packageName() const { return m_packageName; }
    void setPackageName(const QString &name);
    // The host applications offered: entries {"path", "displayname", "ID",
    // "IdentifyingURLScheme"}, all strings.
    [[nodiscard]] QVariantList quillmontAppList() const { return m_appList; }
    void setQuillmontAppList(const QVariantList &list);
    // The position of the chosen entry in quillmontAppList.
    [[nodiscard]] int selectedApp() const { return m_selectedApp; }
    void setSelectedApp(int index);
    // Whether install and ignore store the choice for later discs.
    [[nodiscard]] bool rememberSelection() const { return m_rememberSelection; }
    void setRememberSelection(bool remember);
    // Whether the disc was recognised: packageName is present and is not
    // "other" in any letter case.
    [[nodiscard]] bool isSupported() const;

    // The window's pop-up of host applications and its label; null before
    // the window has loaded.
    [[nodiscard]] QComboBox *appPopup() const { return m_appPopup; }
    [[nodiscard]] QLabel *appPopupLabel() const { return m_appPopupLabel; }

    // Actions, sent by the window's controls ('sender' is not used). Each
    // closes the window first, then does nothing more when the services'
    // willAct says no; the controller stays valid to its end.
    // Install: stores the choice to install (when remembered) and opens the
    // volume with the chosen host application.
    Q_INVOKABLE void openVolume(QObject *sender);
    // Opens the volume with the main host application and the express
    // parameter; stores nothing, whatever is chosen.
    Q_INVOKABLE void expressInstall(QObject *sender);
    // Stores the choice to ignore discs (when remembered), which also turns
    // the helper off; opens nothing.
    Q_INVOKABLE void ignoreVolume(QObject *sender);

    // When rememberSelection holds: stores AutoLaunch 1 (install) or 2
    // (ignore) with the chosen entry's identifier and scheme in every host
    // application's preferences domain.
    void setAutoLaunchPref(bool install);

Q_SIGNALS:
    void CDImageChanged();
    void CDLabelChanged();
    void volumePathChanged();
    void packageNameChanged();
    void quillmontAppListChanged();
    void selectedAppChanged();
    void rememberSelectionChanged();
    void isSupportedChanged();

protected:
    // Finds the outlets and builds the list of installed host applications;
    // with none, logs so and asks the application to end.
    void awakeFromNib() override;

private:
    // The chosen entry; absent when the choice is no entry's.
    [[nodiscard]] std::optional<QVariantMap> selectedEntry() const;
    [[nodiscard]] bool mayAct() const;

    PromptServices &m_services;
    QIcon m_image;
    QString m_label;
    QString m_volumePath;
    QString m_packageName;
    QVariantList m_appList;
    int m_selectedApp = 0;
    bool m_rememberSelection = false;
    QPointer<QComboBox> m_appPopup;
    QPointer<QLabel> m_appPopupLabel;
};
