// The debug output stream: whole lines reach the debugger, each followed by "\n".
#include "diag/debug_stream.h"
#include "support/program_test.h"

namespace {

class DebugStreamTest : public ProgramTest {
  protected:
    static std::vector<std::string> Out() { return winsim::DebugOutput(); }
};

TEST_F(DebugStreamTest, LinesAreEmittedWholeAndEmptyLinesNotAtAll) {
    dbgstream s;
    s << std::endl;
    EXPECT_TRUE(Out().empty());
    s << "A\nB" << '\n';
    EXPECT_EQ(Out(), (std::vector<std::string>{"A", "\n", "B", "\n"}));
}

TEST_F(DebugStreamTest, FlushKeepsThePendingLineAndTheDestructorEmitsIt) {
    {
        dbgstream s;
        s << "Send" << 12 << '\r' << std::flush;
        s.flush();
        EXPECT_TRUE(Out().empty());
        EXPECT_TRUE(s.good());
    }
    EXPECT_EQ(Out(), (std::vector<std::string>{"Send12\r", "\n"}));
}

TEST_F(DebugStreamTest, TheProgramStreamWritesSendKeyUndecorated) {
    dbgout << "SendKey" << std::endl;
    EXPECT_EQ(Out(), (std::vector<std::string>{"SendKey", "\n"}));
    EXPECT_EQ(dbgout.width(), 0);
    EXPECT_EQ(dbgout.tie(), nullptr);
}

} // namespace
