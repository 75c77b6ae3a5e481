// What crosses between the helper and the prompt program: every request
// comes back as it went, and what is not a whole request is never taken
// for one.
#include "prompt/promptprogram.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using PromptProgram::DecodedRequest;

namespace {

TEST(PromptProgram, RequestsComeBackAsTheyWent)
{
    const struct
    {
        const char *name;
        PromptProgram::Request request;
    } cases[] = {
        { "bytes that are not UTF-8, no name",
          { "/media/u/D\xff\xfe\x80", kNotFound, std::nullopt, { 0xffffffffffffffffu, 0 } } },
        { "an empty name, position 0", { "/media/u/D", 0, u""_s, { 1, 2049 } } },
        { "names like options", { "--reverse", 1, u"-stylesheet=/etc/passwd"_s, { 7, 8 } } },
        { "newlines, a NUL and a fake end inside",
          { "/m/a\nend\n", -1, u"other\0x\nend\nselected 1\n"_s, { 3, 4 } } },
        { "64 KiB", { QByteArray(4096, 'v'), 5, QString(65536, u'\u00e9'), { 5, 6 } } },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray encoded = PromptProgram::encodeRequest(c.request);
        const DecodedRequest whole = PromptProgram::decodeRequest(encoded + "trailing");
        ASSERT_EQ(whole.status, DecodedRequest::Complete);
        EXPECT_EQ(whole.request, c.request);
        // Read in pieces, as from a pipe: every prefix only waits for more.
        for (const qsizetype cut :
             { qsizetype(0), qsizetype(1), encoded.size() / 2, encoded.size() - 1 }) {
            EXPECT_EQ(PromptProgram::decodeRequest(encoded.first(cut)).status,
                      DecodedRequest::Incomplete)
                << cut;
        }
    }
}

TEST(PromptProgram, WhatIsNotARequestIsRefused)
{
    const QByteArray header = "raruru-prompt-request 1\n";
    const QByteArray mount = "mount 1\n1\ndevice 1\n2\n";
    const struct
    {
        const char *name;
        QByteArray bytes;
    } cases[] = {
        { "another program's input", "-stylesheet=/tmp/s.qss\n" },
        { "no volume", header + "selected 1\n0\n" + mount + "end\n" },
        { "a field twice", header + "volume 1\n/\nvolume 1\n/\nselected 1\n0\n" + mount + "end\n" },
        { "a length that lies", header + "volume 3\n/\nselected 1\n0\n" + mount + "end\n" },
        { "a position that is no number",
          header + "volume 1\n/\nselected 2\n1x\n" + mount + "end\n" },
        { "a field of another program", header + "style 1\nx\nvolume 1\n/\n" },
        { "larger than any request",
          header + "volume " + QByteArray::number(PromptProgram::kMaxRequestSize + 1) + "\n" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PromptProgram::decodeRequest(c.bytes).status, DecodedRequest::Malformed);
    }
}

} // namespace
