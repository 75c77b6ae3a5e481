// The helper's application object and its process entry.
#pragma once

#include "app/cdhelperdelegate.h"

#include <QCoreApplication>

#include <memory>

// The application: Qt's application object and the delegate. The helper
// never connects to a display: prompts are windows of the prompt program
// (prompt/promptprogram.h), so neither the first
// instance, which copies, relaunches and quits, nor the copy watching
// mounts loads the widget libraries.
class CDHelper
{
public:
    // The application, with its delegate made from 'services' (which must
    // outlive it). 'argc' and 'argv' lose the options Qt takes for itself.
    CDHelper(int &argc, char **argv, CDHelperServices services);
    ~CDHelper();
    CDHelper(const CDHelper &) = delete;
    CDHelper &operator=(const CDHelper &) = delete;

    [[nodiscard]] CDHelperDelegate *delegate() const { return m_delegate.get(); }
    [[nodiscard]] QCoreApplication &application() const { return *m_application; }

    // The open-file requests on a command line: every argument after the
    // program, as a path or a file:// URL (as a workspace start gives them).
    [[nodiscard]] static QStringList openFileRequests(int argc, char **argv);

private:
    std::unique_ptr<QCoreApplication> m_application;
    std::unique_ptr<CDHelperDelegate> m_delegate;
};

// The process entry's work: makes the desktop services and the application,
// hands the delegate the command line's open-file requests, then start-up,
// and runs the event loop until the helper quits. The exit status.
int CDHelperMain(int argc, char **argv);
