// The lock of a terminal address: one per terminal whatever the spelling,
// gone with the process that held it, and a refusal that names the holder.
#include "platform/terminal_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>

namespace orvex {
namespace {

TEST(TerminalLock, OneLockPerTerminalNamingItsHolderAndNoneLeftByAnEndedProcess) {
  QTemporaryDir dir;
  TerminalLock mine(dir.path());
  ASSERT_TRUE(mine.acquire(QStringLiteral("127.0.0.2")));
  for (const char* spelling : {"127.0.0.2", " 127.000.000.002 ", "127.0.0.02"}) {
    SCOPED_TRACE(spelling);
    TerminalLock other(dir.path());
    EXPECT_FALSE(other.acquire(QString::fromLatin1(spelling)));
    EXPECT_TRUE(other.refusal().contains(QStringLiteral("process %1").arg(::getpid())))
        << other.refusal().toStdString();
    EXPECT_TRUE(other.refusal().contains(mine.pathFor(QStringLiteral("127.0.0.2"))));
  }

  // A holder killed without a word leaves nothing that keeps the lock.
  const pid_t child = ::fork();
  if (child == 0) {
    TerminalLock held(dir.path());
    ::_exit(held.acquire(QStringLiteral("127.0.0.3")) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_EQ(WEXITSTATUS(status), 0);
  TerminalLock after(dir.path());
  EXPECT_TRUE(after.acquire(QStringLiteral("127.0.0.3")));
}

}  // namespace
}  // namespace orvex
