// Prompts as runs of the real prompt program from the built helper bundle,
// drawn offscreen in a temporary home.
#include "app/promptprocessprompter.h"

#include "tests/testsupport.h"

#include <QFile>
#include <QTest>

#include <sys/stat.h>

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

// Quitting: every prompt's input ends at once. Stand-in prompt programs
// say what each does then; the real program's answers are the end-to-end
// table's.
TEST(PromptProcessPrompter, QuittingLetsAnAnswerFinishAndNothingElse)
{
    test::TemporaryHome home;
    const QString volume = home.path() + u"/V"_s;
    test::writeFile(volume + u"/SETUP.EXE"_s, "MZ");
    const struct
    {
        const char *name;
        QByteArray script; // after reading its request; $1 the file it makes
        bool done; // the file is made
    } cases[] = {
        { "closes at the end of its input", "cat >/dev/null; : >\"$1\"", true },
        { "carries out an answer that outlasts the wait", "printf 'acting\\n'; sleep 1; : >\"$1\"",
          true },
        { "hangs without acting: killed", "sleep 1; : >\"$1\"", false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString done = home.path() + u"/done"_s;
        QFile::remove(done);
        const QString program = home.path() + u"/prompt"_s;
        // The request is read to its end line, as the real program reads it.
        test::writeFile(program,
                        "#!/bin/sh\nwhile read -r line && [ \"$line\" != end ]; do :; done\nset -- "
                            + QFile::encodeName(done) + "\n" + c.script + "\n");
        ::chmod(QFile::encodeName(program).constData(), 0755);
        PromptProcessPrompter prompter(QFile::encodeName(program), [] {});
        prompter.promptForVolume(volume, u"Office"_s, 0);
        QTest::qWait(200); // it has read its request and acts
        prompter.closeAllPrompts(std::chrono::milliseconds(300));
        EXPECT_TRUE(prompter.promptedVolumes().isEmpty());
        EXPECT_EQ(QTest::qWaitFor([&] { return QFile::exists(done); }, 2000), c.done);
    }
}

} // namespace
