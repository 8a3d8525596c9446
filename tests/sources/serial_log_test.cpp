// The COM2 trace: the port's exact settings and every fragment with its thresholds.
#include "diag/serial_log.h"
#include "support/program_test.h"
#include "winsim/devices.h"

#include <cstring>

namespace {

#define HI "\x1b[1;33;44m"
#define LO "\x1b[0m"

class SerialLogTest : public ProgramTest {
  protected:
    winsim::NamedDevice* port = nullptr;
    void SetUp() override {
        ProgramTest::SetUp();
        port = winsim::AddNamedDevice("COM2", true);
    }
    std::string Trace() const { return port->Written(); }
    // One poll: it opens at `start` ms after the previous poll ended.
    static void OpenAfter(DWORD gap) {
        Sleep(gap);
        TraceOpening();
    }
};

TEST_F(SerialLogTest, PortIsOpenedAndConfiguredExactly) {
    OpenTracePort();
    ASSERT_EQ(winsim::DeviceOpens().size(), 1u);
    const winsim::DeviceOpen& open = winsim::DeviceOpens()[0];
    EXPECT_EQ(open.path, "COM2");
    EXPECT_EQ(open.access, DWORD(GENERIC_READ | GENERIC_WRITE));
    EXPECT_EQ(open.share, 0u);
    EXPECT_EQ(open.creation, DWORD(OPEN_EXISTING));
    EXPECT_EQ(open.flags, 0u);
    ASSERT_TRUE(port->timeoutsSet && port->stateSet && port->maskSet);
    EXPECT_EQ(port->timeouts.ReadIntervalTimeout, 50u);
    EXPECT_EQ(port->timeouts.ReadTotalTimeoutMultiplier, 50u);
    EXPECT_EQ(port->timeouts.ReadTotalTimeoutConstant, 5u);
    EXPECT_EQ(port->timeouts.WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(port->timeouts.WriteTotalTimeoutConstant, 1000u);
    DCB expected;
    std::memset(&expected, 0, sizeof expected);
    expected.DCBlength = sizeof(DCB);
    expected.BaudRate = 115200;
    expected.fBinary = 1;
    expected.fParity = 1;
    expected.ByteSize = 8;
    EXPECT_EQ(std::memcmp(&port->dcb, &expected, sizeof expected), 0)
        << "every field but these seven stays 0";
    EXPECT_EQ(port->commMask, DWORD(EV_RXCHAR));
}

TEST_F(SerialLogTest, OpeningFragmentsFollowTheIntervalSinceThePreviousPoll) {
    OpenTracePort();
    Sleep(1000);
    TraceOpening(); // no poll has ended yet
    TraceRegisterEnd();
    OpenAfter(200);
    TraceRegisterEnd();
    OpenAfter(201);
    TraceRegisterEnd();
    OpenAfter(12345);
    EXPECT_EQ(Trace(),
              "SendKey - "
              "SendKey(0200) - " HI "SendKey(0201) - ERROR " LO HI "SendKey(12345) - ERROR " LO);
}

// With no source attached for weeks (the camera unplugged) the first poll after it comes back
// is more than 2^31 ms after the last one: still a count of milliseconds, never a negative one.
TEST_F(SerialLogTest, IntervalsOfWeeksPrintAsTheirCount) {
    const DWORD days25 = 25u * 24 * 60 * 60 * 1000; // 2,160,000,000 ms
    winsim::SetTimeLimit(uint64_t(days25) * 2);
    OpenTracePort();
    Sleep(5);
    TraceRegisterEnd();
    OpenAfter(days25);
    TraceRegisterError();
    EXPECT_EQ(Trace(),
              HI "SendKey(2160000000) - ERROR " LO HI "etLib2_RegRead(2160000000) - ERROR " LO);
}

TEST_F(SerialLogTest, RegisterErrorCarriesTheOpeningsIntervalOnTheSameLine) {
    OpenTracePort();
    Sleep(5);
    TraceRegisterEnd();
    OpenAfter(180);
    Sleep(30); // the failing read takes its time; the interval stays the opening's
    TraceRegisterError();
    EXPECT_EQ(Trace(), "SendKey(0180) - " HI "etLib2_RegRead(0180) - ERROR " LO);
}

TEST_F(SerialLogTest, EvaClosingFragmentsShowAnswerDurationAndCount) {
    OpenTracePort();
    Sleep(7);
    TraceOpening();
    TraceEvaResult(0);
    EXPECT_EQ(Trace(), "SendKey - (0x00 - 0000 0)\r\n");
    port->writes.clear();
    for (int i = 0; i < 4; ++i) {
        TraceOpening();
        TraceEvaResult(0);
    }
    port->writes.clear();
    Sleep(150);
    TraceOpening();
    Sleep(3);
    TraceEvaResult(1);
    EXPECT_EQ(Trace(), "SendKey(0150) - (0x01 - 0003 5)\r\n");
    port->writes.clear();
    Sleep(200);
    TraceOpening();
    Sleep(20);
    TraceEvaResult(-1);
    Sleep(200);
    TraceOpening();
    Sleep(21);
    TraceEvaResult(0x1234);
    EXPECT_EQ(Trace(), "SendKey(0200) - (0xFFFFFFFF - 0020 6)\r\n"
                       "SendKey(0200) - " HI "(0x1234 - 0021 7) - ERROR " LO "\r\n");
    for (const std::string& w : port->writes)
        EXPECT_LE(w.size(), 63u);
}

TEST_F(SerialLogTest, MissingOrStuckPortsChangeNothingButTime) {
    port->present = false;
    OpenTracePort();
    EXPECT_EQ(gSerialLog.tracePort, INVALID_HANDLE_VALUE);
    TraceOpening();
    TraceEvaResult(1);
    EXPECT_EQ(gSerialLog.evaPollCount, 1);
    EXPECT_TRUE(port->writes.empty());
    EXPECT_EQ(winsim::CallCount("WriteFile"), 0u) << "no system call for a port that is not open";

    winsim::Reset();
    gSerialLog = SerialLog{};
    port = winsim::AddNamedDevice("COM2", true);
    port->writeStallMs = 1000;
    OpenTracePort();
    TraceOpening();
    EXPECT_EQ(winsim::Now(), 1000u); // the write's timeout, and nothing sent
    EXPECT_TRUE(port->writes.empty());
}

} // namespace
