// The FTP command texts the engine writes, read back as the adapter reads them.
#include "platform/ftp_command_text.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

TEST(FtpCommandText, TheEnginesTextsReadBackIntoVerbAndArguments) {
  struct Row {
    std::string text, verb, first, second;
    bool extra;
  };
  const Row rows[] = {
      {"CD /tffs0/bin", "CD", "/tffs0/bin", "", false},
      {"  cd   \"/a folder\"  ", "CD", "/a folder", "", false},
      {"LS ", "LS", "", "", false},
      {"DIR /tffs0/bin", "DIR", "/tffs0/bin", "", false},
      {"Delete orvex_5_0_0_1.bin", "DELETE", "orvex_5_0_0_1.bin", "", false},
      {"HELP", "HELP", "", "", false},
      {"CLOSE", "CLOSE", "", "", false},
      {"GET image.txt \"/home/t/image.txt\"", "GET", "image.txt", "/home/t/image.txt", false},
      {"GET \"/tffs0/bin/orvex.bin\" \"/home/a b/Backup/orvex.bin.part\"", "GET",
       "/tffs0/bin/orvex.bin", "/home/a b/Backup/orvex.bin.part", false},
      {"GET \"/tffs0/unterminated", "GET", "/tffs0/unterminated", "", false},
      {"PUT \"/home/a b/orvex.bin\" /tffs0/bin/orvex.bin.part", "PUT", "/home/a b/orvex.bin",
       "/tffs0/bin/orvex.bin.part", false},
      // A bare local path with blanks: the remote name is the last word.
      {"PUT /home/a b/orvex.bin /tffs0/bin/x.bin", "PUT", "/home/a b/orvex.bin", "/tffs0/bin/x.bin",
       false},
      {"PUT /home/only", "PUT", "/home/only", "", false},
      {"RENAME /tffs0/bin/a.part /tffs0/bin/a", "RENAME", "/tffs0/bin/a.part", "/tffs0/bin/a",
       false},
      {"RENAME \"a b\" \"c d\"", "RENAME", "a b", "c d", false},
      {"RENAME a b c", "RENAME", "a", "b", true},
      {"", "", "", "", false},
  };
  for (const Row& r : rows) {
    const FtpCommandText c = ParseFtpCommandText(r.text);
    EXPECT_EQ(c.verb, r.verb) << r.text;
    EXPECT_EQ(c.first, r.first) << r.text;
    EXPECT_EQ(c.second, r.second) << r.text;
    EXPECT_EQ(c.extra, r.extra) << r.text;
  }
  for (const std::string& bad : {std::string("a\rb"), std::string("a\n"), std::string("a\0b", 3)})
    EXPECT_TRUE(FtpArgumentUnsafe(bad));
  EXPECT_FALSE(FtpArgumentUnsafe("/tffs0/bin/a b\t.bin"));
}

}  // namespace
}  // namespace orvex
