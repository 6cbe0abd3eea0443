// The byte readers, the request encoding and the parsing of the terminal's
// version and release information texts.
#include "zing/zing_codec.h"

#include <gtest/gtest.h>

#include "support/zing_peer.h"
#include "zing/terminal_text.h"

namespace orvex::test {
namespace {

TEST(ZingCodec, RequestsAreBigEndianCodesWithAnOptionalArgument) {
  EXPECT_EQ(ZingEncodeRequest(0x92), std::string("\0\0\0\x92", 4));
  EXPECT_EQ(ZingEncodeRequest(0x1234), std::string("\0\0\x12\x34", 4));
  EXPECT_EQ(ZingEncodeRequestArg(0x90, 2), std::string("\0\0\0\x90\x02", 5));
}

TEST(ZingCodec, FieldReadersStopAtTheEndOfTheData) {
  const std::string r = U32(0x1092) + std::string("\xFF\x01\xFF\x02", 4);
  EXPECT_EQ(Util_BytesToLong(r, 4, 0), 0x1092);
  EXPECT_EQ(Util_BytesToLong(r, 4, 4), 0xFF01FF02);  // unsigned, no overflow
  EXPECT_EQ(Util_BytesToStatus(r, 4, 4), 0x02);      // each 0xFF restarts at 0
  EXPECT_EQ(Util_BytesToStatus(std::string(4, '\xFF'), 4, 0), 0);
  EXPECT_EQ(Util_BytesToLong(r, 4, 6), 0xFF02);  // only two bytes are there
  EXPECT_EQ(Util_BytesToLong(r, 4, 100), 0);
  EXPECT_EQ(Util_BytesToLong(r, 4, -1), 0);

  const std::string t = std::string("abc\0def", 7);
  EXPECT_EQ(Util_BytesToString(t, 10, 0), "abc");
  EXPECT_EQ(Util_BytesToString(t, 10, 4), "def");  // no zero byte: to the end
  EXPECT_EQ(Util_BytesToString(t, 2, 4), "de");
  EXPECT_EQ(Util_BytesToString(t, 0, 0), "");
  EXPECT_EQ(Util_BytesToString(t, -5, 0), "");
  EXPECT_EQ(Util_BytesToString(t, 10, 50), "");
}

// Where the first reply ends in the bytes received so far.
TEST(ZingCodec, ReplyFramesFollowTheLayout) {
  using F = ZingReplyFrame;
  struct Case {
    std::string bytes;
    F::Status status;
    size_t length;  // when complete
    size_t needed;
  };
  const std::string ver = VersionReply("5.1");  // 8 + 3 + zero
  const std::string rel = ReleaseInfoReply("PIC: 1");
  const Case cases[] = {
      {"", F::kIncomplete, 0, 0},
      {U32(0x1004).substr(0, 3), F::kIncomplete, 0, 0},
      {ver.substr(0, 11), F::kIncomplete, 0, 0},  // text without its zero yet
      {ver, F::kComplete, 12, 12},
      {ver + "tail", F::kComplete, 12, 12},
      {PlainReply(0x1032).substr(0, 7), F::kIncomplete, 0, 8},
      {PlainReply(0x1033) + PlainReply(0x1033), F::kComplete, 8, 8},
      {AntennaReply(1, "ok").substr(0, 15), F::kIncomplete, 0, 16},
      {AntennaReply(1, "ok").substr(0, 17), F::kIncomplete, 0, 18},
      {AntennaReply(1, "ok"), F::kComplete, 18, 18},  // the zero byte is left over
      {rel.substr(0, 11), F::kIncomplete, 0, 12},
      {rel.substr(0, 21), F::kIncomplete, 0, 22},
      {rel, F::kComplete, 22, 22},
      {U32(0x1092) + U32(0) + U32(0), F::kComplete, 12, 12},  // invalid length: nothing to wait for
      {U32(0x1092) + U32(0) + U32(0xFFFFFFF0), F::kIncomplete, 0, kZingMaxReply},  // up to the cap
      {U32(0x1092) + U32(0) + U32(100000) + std::string(kZingMaxReply, 'x'), F::kComplete,
       kZingMaxReply, kZingMaxReply},
      {AntennaReply(1, "").substr(0, 12) + U32(kZingMaxReply), F::kTooLong, 0, kZingMaxReply + 1},
      {IbStatusReply(45, 0), F::kComplete, 8, 8},
      {IbStatusReply(45).substr(0, 11), F::kIncomplete, 0, 12},
      {IbPrepareReply(0), F::kComplete, 8, 8},
      {U32(0x1055) + "junk", F::kComplete, 8, 8},  // unknown: all there is
  };
  for (const Case& c : cases) {
    const F f = ZingFrameReply(c.bytes);
    EXPECT_EQ(f.status, c.status) << c.bytes.size();
    EXPECT_EQ(f.needed, c.needed) << c.bytes.size();
    if (c.status == F::kComplete) {
      EXPECT_EQ(f.length, c.length) << c.bytes.size();
    }
  }
  // A version text that never ends is bounded too.
  EXPECT_EQ(ZingFrameReply(U32(0x1004) + std::string(kZingMaxReply, 'x')).status, F::kTooLong);
  EXPECT_EQ(ZingFrameReply(U32(0x1004) + std::string(100, 'x'), 64).status, F::kTooLong);
}

TEST(ZingCodec, VersionDigitsAndReplace) {
  EXPECT_EQ(Util_VersionDigits(kVersionText), "5.1.0.9");
  EXPECT_EQ(Util_VersionDigits("v5.1.0.12a"), "5.1.0.12");  // no blank: the whole text
  EXPECT_EQ(Util_VersionDigits(""), "");
  EXPECT_EQ(Util_VersionDigits(" 5.1"), "");
  EXPECT_EQ(Util_ReplaceChar("5.1.0.12", ".", "_"), "5_1_0_12");
  EXPECT_EQ(Util_ReplaceChar("5_1_0_12", "_", "."), "5.1.0.12");
  EXPECT_EQ(Util_ReplaceChar("abc", "", "x"), "abc");
}

TEST(TerminalText, PlatformFromTheFirstFourCharacters) {
  EXPECT_EQ(PlatformIdFromVersion("5.1.0.12"), 1);
  EXPECT_EQ(PlatformIdFromVersion("5.0.9.3"), 0);
  EXPECT_EQ(PlatformIdFromVersion("5.9.1"), 9);
  EXPECT_EQ(PlatformIdFromVersion("0.0.0.1"), 10);
  EXPECT_EQ(PlatformIdFromVersion("6.0.1"), 11);
  EXPECT_EQ(PlatformIdFromVersion("15.0.1"), 0);
  EXPECT_EQ(PlatformIdFromVersion("1.25.1"), 11);  // "5.1" only after the fourth character
  EXPECT_EQ(PlatformIdFromVersion(""), 11);
}

TEST(TerminalText, AntennaClassFirstMatchWins) {
  EXPECT_EQ(AntennaClassFromValue("10", 1, 5), 3);
  EXPECT_EQ(AntennaClassFromValue("10", 2, 5), 2);
  EXPECT_EQ(AntennaClassFromValue("11", 1, 5), 4);
  EXPECT_EQ(AntennaClassFromValue("9", 1, 5), 1);
  EXPECT_EQ(AntennaClassFromValue("12", 1, 5), 0);
  EXPECT_EQ(AntennaClassFromValue("7", 1, 5), 5);
  EXPECT_EQ(AntennaClassName(3), "Class 10R");
  EXPECT_EQ(AntennaClassName(0), "Class 2");
  EXPECT_EQ(AntennaClassName(5), "UNKNOWN");
  EXPECT_EQ(AntennaClassName(-1), "UNKNOWN");
}

TEST(TerminalText, ReleaseInfoFields) {
  EXPECT_EQ(ReleaseInfoField(kReleaseText, "PIC: "), "2.03");
  EXPECT_EQ(ReleaseInfoField(kReleaseText, "CLASS: "), "11");
  EXPECT_EQ(ReleaseInfoField("ATB:   x7  \r\nHPA: V2", "ATB: "), "x7");
  EXPECT_EQ(ReleaseInfoField("HPA: V2", "HPA: "), "V2");  // last line without CR LF
  EXPECT_EQ(ReleaseInfoField("PIC: ", "PIC: "), "");
  EXPECT_EQ(ReleaseInfoField("IB: a:b\r\n", "IB: "), "a:b");
  EXPECT_EQ(ReleaseInfoField("PIC 2.03", "PIC: "), "");
  EXPECT_FALSE(ReleaseInfoHasKey("PIC 2.03", "PIC: "));
}

TEST(TerminalText, BuildDateOfTheVersionText) {
  EXPECT_EQ(ReleaseDatePart(kVersionText), " Oct 29 2009 ");
  EXPECT_EQ(ReleaseDatePart("5.1 Rel Oct 29 2009"), "5.1 Rel Oct 29 2009");
  EXPECT_EQ(ReleaseDatePart("5.1 Rel fpga, 12"), "5.1 Rel ");  // ", " after " fpga" ignored
  EXPECT_EQ(ReleaseDatePart(""), "");

  auto days = [](const std::string& text) {
    auto d = ReadCalendarDate(text);
    return d ? DaysFromCivil(*d) - DaysFromCivil({2009, 10, 27}) : -99999;
  };
  EXPECT_EQ(days(" Oct 27 2009 "), 0);
  EXPECT_EQ(days(" Oct 26 2009 "), -1);
  EXPECT_EQ(days("Nov  1 2009"), 5);  // padded day of a compiler build date
  EXPECT_EQ(days("10/29/2009"), 2);
  EXPECT_EQ(days("1/2/2010"), 67);
  EXPECT_EQ(days("2009-10-26"), -1);
  EXPECT_EQ(days("29 October 2009"), 2);
  EXPECT_EQ(days("Rel Oct 29, 2009"), 2);
  EXPECT_EQ(days("Feb 29 2012"), DaysFromCivil({2012, 2, 29}) - DaysFromCivil({2009, 10, 27}));
  for (const char* bad : {"", "Feb 29 2009", "13/01/2009", "Oct 32 2009", "Foo 12 2009", "10/27/09",
                          "5.1.0.9", "Oct 2009", "99999999999/1/2009"})
    EXPECT_FALSE(ReadCalendarDate(bad)) << bad;
}

}  // namespace
}  // namespace orvex::test
