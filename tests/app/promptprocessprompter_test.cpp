// Prompts as runs of the real prompt program from the built helper bundle,
// drawn offscreen in a temporary home.
#include "app/promptprocessprompter.h"

#include "tests/testsupport.h"

#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kProgram = RARURU_HELPER_BUNDLE "/Contents/Helpers/raruru-prompt";

TEST(PromptProcessPrompter, PromptsComeAndGoWithTheirVolumes)
{
    test::TemporaryHome home;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString log = home.path() + u"/requests.log"_s;
    qputenv("QUILLMONT_REQUEST_LOG", QFile::encodeName(log));
    const QString volumes[] = { home.path() + u"/A"_s, home.path() + u"/B"_s };
    for (const QString &volume : volumes)
        test::writeFile(volume + u"/SETUP.EXE"_s, "MZ");
    bool terminated = false;
    PromptProcessPrompter prompter(kProgram, [&terminated] { terminated = true; });
    const auto promptsLeft = [&prompter](const QStringList &volumes) {
        return QTest::qWaitFor([&] { return prompter.promptedVolumes() == volumes; }, 20000);
    };

    // No host application installed: the prompt ends the helper.
    prompter.promptForVolume(volumes[0], u"Office"_s, 0);
    ASSERT_TRUE(promptsLeft({}));
    EXPECT_TRUE(terminated);

    terminated = false;
    test::installEdition(home.path() + u"/Applications"_s, u"Quillmont"_s, true);
    prompter.promptForVolume(volumes[0], u"Office"_s, 0);
    prompter.promptForVolume(volumes[1], std::nullopt, 0);
    // Unmounted at once, while the prompt still starts: it closes as its
    // close button would, keeping its frame, and only that volume's.
    prompter.volumeDidUnmount(volumes[0]);
    ASSERT_TRUE(promptsLeft({ volumes[1] }));
    EXPECT_TRUE(test::readFile(home.configHome() + u"/tallowcraft/Quillmont DI Raruru.conf"_s)
                    .contains("CDHelper"));
    prompter.closeAllPrompts();
    EXPECT_TRUE(prompter.promptedVolumes().isEmpty());
    EXPECT_FALSE(terminated);
    EXPECT_FALSE(QFile::exists(log)) << "closing opens nothing";

    PromptProcessPrompter missing("/nonexistent/raruru-prompt", [] {});
    missing.promptForVolume(volumes[0], u"Office"_s, 0);
    EXPECT_TRUE(missing.promptedVolumes().isEmpty());
    qunsetenv("QT_QPA_PLATFORM");
}

// The name goes to the prompt as one argument, whatever detectcd printed:
// "other" followed by more is no unrecognised disc.
TEST(PromptProcessPrompter, PackageNamesReachThePromptWhole)
{
    for (const QString &name :
         { QString::fromLatin1("other\0x", 7), u"100% \u00e9 %00"_s, u""_s }) {
        const QByteArray argument = PromptProgram::packageNameArgument(name);
        EXPECT_FALSE(argument.contains('\0'));
        EXPECT_EQ(PromptProgram::packageNameFromArgument(argument), name) << argument.data();
    }
}

} // namespace
