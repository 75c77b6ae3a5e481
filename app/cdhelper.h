// The helper's application object and its process entry.
#pragma once

#include "app/cdhelperdelegate.h"

#include <QApplication>

#include <memory>

class CDHelper : public QApplication
{
    Q_OBJECT
public:
    // The application, with its delegate made from 'services' (which must
    // outlive it). 'argc' and 'argv' lose the options Qt takes for itself.
    CDHelper(int &argc, char **argv, CDHelperServices services);
    ~CDHelper() override;

    [[nodiscard]] CDHelperDelegate *delegate() const { return m_delegate.get(); }

    // The open-file requests on a command line: every argument after the
    // program, as a path or a file:// URL (as a workspace start gives them).
    [[nodiscard]] static QStringList openFileRequests(int argc, char **argv);

private:
    std::unique_ptr<CDHelperDelegate> m_delegate;
};

// The process entry's work: makes the desktop services and the application,
// hands the delegate the command line's open-file requests, then start-up,
// and runs the event loop until the helper quits. The exit status.
int CDHelperMain(int argc, char **argv);
