#include "prompt/qmwindowcontroller.h"

#include "platform/standardpaths.h"
#include "prompt/keyvaluebindings.h"
#include "prompt/promptlog_p.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QFile>
#include <QSettings>
#include <QUiLoader>

namespace {

const char kFrameAutosaveNameProperty[] = "frameAutosaveName";

// Saved frames live where QSettings would keep the helper's own settings,
// tallowcraft/Quillmont DI Raruru.conf in the user's configuration folder.
// The path is worked out on every use: QSettings reads the environment only
// once per process.
QString windowFramesPath()
{
    return xdgBaseFolder(XdgBaseFolder::Config)
        + QStringLiteral("/tallowcraft/Quillmont DI Raruru.conf");
}

// A name as one key: a '/' would make it a group of its own.
QString frameKey(QString name)
{
    name.replace(u'/', u'_').replace(u'\\', u'_');
    return QStringLiteral("WindowFrames/") + name;
}

void saveFrame(const QWidget &window)
{
    const QString name = QMWindowController::frameAutosaveName(&window);
    if (name.isEmpty())
        return;
    QSettings settings(windowFramesPath(), QSettings::IniFormat);
    settings.setValue(frameKey(name), window.saveGeometry());
}

void restoreFrame(QWidget &window)
{
    const QString name = QMWindowController::frameAutosaveName(&window);
    if (name.isEmpty())
        return;
    const QSettings settings(windowFramesPath(), QSettings::IniFormat);
    const QByteArray frame = settings.value(frameKey(name)).toByteArray();
    if (!frame.isEmpty())
        window.restoreGeometry(frame); // keeps the window on a screen that is there now
}

} // namespace

QMWindowController::QMWindowController(QString windowNibPath)
    : m_windowNibPath(std::move(windowNibPath))
{ }

QMWindowController::~QMWindowController()
{
    // Without the application object (a release still queued when it went)
    // no widget can be deleted any more: the window goes with the process.
    if (m_window && QCoreApplication::instance()) {
        // The subclass is gone already: nothing may reach it from here on.
        m_window->removeEventFilter(this);
        disconnect(m_window, nullptr, this, nullptr);
        unbindControls(m_window);
        delete m_window;
    }
}

QWidget *QMWindowController::window()
{
    if (!m_window && !m_loadFailed)
        loadWindow();
    return m_window;
}

void QMWindowController::loadWindow()
{
    m_loadFailed = true; // until it has worked: a broken description is tried once
    QFile file(m_windowNibPath);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcPrompt).noquote() << QStringLiteral("Cannot load the window description %1: %2")
                                             .arg(m_windowNibPath, file.errorString());
        return;
    }
    // Our windows hold Qt's own widgets only. A loader loads every Designer
    // plugin under the library paths as it is made (libqquickwidget.so
    // brings Qt Quick, QML and the network with it): made with none, it
    // loads none.
    const QStringList libraryPaths = QCoreApplication::libraryPaths();
    QCoreApplication::setLibraryPaths({});
    QUiLoader loader;
    QCoreApplication::setLibraryPaths(libraryPaths);
    QWidget *window = loader.load(&file);
    if (!window) {
        const QString reason = loader.errorString();
        qCWarning(lcPrompt).noquote()
            << QStringLiteral("Cannot load the window description %1: %2")
                   .arg(m_windowNibPath,
                        reason.isEmpty() ? QStringLiteral("it describes no window") : reason);
        return;
    }
    m_loadFailed = false;
    setWindow(window);
    if (!bindControls(window, this)) {
        qCWarning(lcPrompt).noquote()
            << QStringLiteral("The window description %1 has bindings this window cannot serve")
                   .arg(m_windowNibPath);
    }
    awakeFromNib();
    windowDidLoad();
}

void QMWindowController::setWindow(QWidget *window)
{
    if (window == m_window)
        return;
    if (m_window) {
        m_window->removeEventFilter(this);
        disconnect(m_window, nullptr, this, nullptr);
        m_window->deleteLater(); // it may be in the middle of an event of its own
    }
    m_window = window;
    m_closing = false;
    if (!window)
        return;
    // Otherwise the window keeps the name it came with.
    if (!m_frameAutosaveName.isEmpty())
        setFrameAutosaveName(window, m_frameAutosaveName);
    restoreFrame(*window);
}

void QMWindowController::close()
{
    if (m_window)
        m_window->close();
}

void QMWindowController::setWindowFrameAutosaveName(const QString &name)
{
    m_frameAutosaveName = name;
    if (m_window && !name.isEmpty())
        setFrameAutosaveName(m_window, name);
}

QString QMWindowController::frameAutosaveName(const QWidget *window)
{
    return window ? window->property(kFrameAutosaveNameProperty).toString() : QString();
}

void QMWindowController::setFrameAutosaveName(QWidget *window, const QString &name)
{
    if (window)
        window->setProperty(kFrameAutosaveNameProperty, name);
}

void QMWindowController::setOwnsSelf(bool ownsSelf)
{
    if (ownsSelf && !m_ownsSelf)
        m_self = weak_from_this().lock(); // null when no shared pointer holds us
    else if (!ownsSelf && m_ownsSelf)
        releaseSelfLater();
    m_ownsSelf = ownsSelf;
}

void QMWindowController::windowWillClose(QWidget *window)
{
    // isWindowLoaded() comes before any use of the window: closing never loads one.
    if (!m_ownsSelf || !isWindowLoaded() || window != m_window)
        return;
    releaseSelfLater();
}

void QMWindowController::awakeFromNib() { }

void QMWindowController::windowDidLoad()
{
    m_window->installEventFilter(this);
    // A dialog that ends by done() (Escape, accept(), reject()) closes with
    // its close event kept from filters: its end is heard here instead.
    if (auto *dialog = qobject_cast<QDialog *>(m_window.data()))
        connect(dialog, &QDialog::finished, this, &QMWindowController::windowIsClosing);
}

bool QMWindowController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window) {
        // Our windows never refuse to close, so a close event means a close.
        if (event->type() == QEvent::Close)
            windowIsClosing();
        else if (event->type() == QEvent::Show)
            m_closing = false;
    }
    return QObject::eventFilter(watched, event);
}

void QMWindowController::windowIsClosing()
{
    if (m_closing || !m_window)
        return;
    m_closing = true;
    saveFrame(*m_window);
    windowWillClose(m_window);
}

void QMWindowController::releaseSelfLater()
{
    if (!m_self)
        return;
    QCoreApplication *application = QCoreApplication::instance();
    if (!application)
        return; // no event loop, so no end of an event: the reference stays
    // A queued call runs when control is back in the event loop, after the
    // event now being handled; the last reference may go with it.
    QMetaObject::invokeMethod(
        application, [self = std::move(m_self)]() mutable { self.reset(); }, Qt::QueuedConnection);
}
