// The base of windows that are opened and then left to run by themselves.
// The opener shows the window, hands the controller ownership of itself
// (setOwnsSelf(true)) and drops its own reference; the controller then lets
// itself go when its window closes, once the event in which it closed has
// been handled, so the code that closed the window may go on using it.
#pragma once

#include "util/qmobject.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

class QMWindowController : public QObject,
                           public QMObject,
                           public std::enable_shared_from_this<QMWindowController>
{
    Q_OBJECT
public:
    // A controller whose window is loaded from the window description (Qt
    // Designer .ui) at 'windowNibPath' on the first request for it. Make it
    // with std::make_shared: owning itself needs a shared pointer to share.
    // Main thread only, like every window.
    explicit QMWindowController(QString windowNibPath);
    // Deletes the window.
    ~QMWindowController() override;
    QMWindowController(const QMWindowController &) = delete;
    QMWindowController &operator=(const QMWindowController &) = delete;

    // The window, loaded first when it is not loaded yet: its controls are
    // bound to this controller's keys and actions (keyvaluebindings.h), then
    // awakeFromNib() and windowDidLoad() run. Null when the description is
    // missing or cannot be read, which is said in the log once.
    QWidget *window();
    // Whether the window is loaded, without loading it.
    [[nodiscard]] bool isWindowLoaded() const { return !m_window.isNull(); }
    // Attaches 'window' (may be null), which the controller owns from then
    // on. The window keeps its own frame-autosave name unless the controller
    // has one of its own; a frame saved under the name it ends up with is
    // restored.
    void setWindow(QWidget *window);
    // Closes the window, when it is loaded, as its close button would.
    void close();

    // The name this controller gives its window's frame; empty when it
    // leaves the window its own. Setting it applies it to a loaded window.
    [[nodiscard]] QString windowFrameAutosaveName() const { return m_frameAutosaveName; }
    void setWindowFrameAutosaveName(const QString &name);
    // A window's own frame-autosave name: its "frameAutosaveName" property,
    // as the window description sets it. The frame is saved when the window
    // closes, under that name (docs/host-integration.md says where).
    [[nodiscard]] static QString frameAutosaveName(const QWidget *window);
    static void setFrameAutosaveName(QWidget *window, const QString &name);

    // YES takes one reference to itself at once (the controller must be
    // held by a std::shared_ptr); NO gives it up, deferred to the end of the
    // current event's handling. Setting the value held changes nothing.
    void setOwnsSelf(bool ownsSelf);
    [[nodiscard]] bool ownsSelf() const { return m_ownsSelf; }

    // The window's delegate hears here that 'window' is about to close.
    // When the controller owns itself and 'window' is its own loaded window,
    // it gives up the self-reference, deferred: it stays valid until the
    // current event has been handled. ownsSelf() keeps its value.
    virtual void windowWillClose(QWidget *window);

protected:
    // Once, right after the window has been loaded and attached, with its
    // controls bound. The base does nothing.
    virtual void awakeFromNib();
    // Once, after awakeFromNib(). The base makes the controller the window's
    // delegate; an override calls it first.
    virtual void windowDidLoad();

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void loadWindow();
    void windowIsClosing();
    void releaseSelfLater();

    QString m_windowNibPath;
    bool m_loadFailed = false;
    // A QPointer, so that a window deleted by someone else reads as not loaded.
    QPointer<QWidget> m_window;
    QString m_frameAutosaveName;
    bool m_ownsSelf = false;
    std::shared_ptr<QMWindowController> m_self;
    bool m_closing = false; // one close reaches the delegate once
};
