// What the install prompt works with. The helper's application core makes
// these (app/cdhelper.cpp); tests give real services in a temporary home.
#pragma once

#include "platform/userdefaults.h"
#include "platform/workspace.h"
#include "prompt/installprompter.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

struct PromptServices
{
    // Finds and opens host applications; must outlive every prompt.
    Workspace &workspace;
    // A fresh reader of the preferences domains, made for each stored choice.
    std::function<std::unique_ptr<UserDefaults>()> makeUserDefaults;
    // Where both install actions go. Without one nothing is opened.
    VolumeInstaller *installer = nullptr;
    // The helper bundle a host application carries, for turning the helper
    // off and on (CDTools::mainBundleHelperResourcePath()).
    std::optional<QString> helperResourcePath;
    // Asks the application to end once the current event has been handled.
    std::function<void()> terminate;
};
