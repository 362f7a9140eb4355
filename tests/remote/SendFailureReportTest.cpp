#include "SendFailureReport.h"

#include <string>

#include <gtest/gtest.h>

#include <Errors.h>
#include <OS.h>

#include "kernel/TestClock.h"

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

// What a run of calls printed, on each stream.
struct Printed
{
	std::string out;
	std::string error;
};

template <typename Calls> Printed Capture(Calls calls)
{
	CaptureStdout();
	CaptureStderr();
	calls();
	Printed printed;
	printed.out = GetCapturedStdout();
	printed.error = GetCapturedStderr();
	return printed;
}

} // namespace

TEST(SendFailureReport, AFailurePrintsItsLineOnceAndItsRepeatsAreCountedOnceASecond)
{
	SendFailureReport report;
	Printed first = Capture([&] {
		report.Failed(0xf2, B_FILE_ERROR);
		for (int byte = 0; byte < 100; byte++)
			report.Failed(byte & 0xff, B_FILE_ERROR);
	});
	EXPECT_EQ(first.out, "ERROR sending byte f2\n");
	EXPECT_EQ(first.error, "");

	Printed second = Capture([&] {
		BPrivate::AdvanceClockForTesting(SendFailureReport::kReportInterval);
		report.Failed(0x41, B_FILE_ERROR);
		report.Failed(0x42, B_FILE_ERROR);
	});
	EXPECT_EQ(second.out, "");
	EXPECT_EQ(second.error,
	          "remote: sending failed 101 more times in the same way, the last byte 41\n");

	Printed closing = Capture([&] { report.Flush(); });
	EXPECT_EQ(closing.out, "");
	EXPECT_EQ(closing.error,
	          "remote: sending failed 1 more time in the same way, the last byte 42\n");
}

TEST(SendFailureReport, ADifferentFailureOrASendThatWorksIsToldAtOnce)
{
	SendFailureReport report;
	Printed printed = Capture([&] {
		report.Failed(0x90, B_FILE_ERROR);
		report.Failed(0x91, B_FILE_ERROR);
		// The port hung up: another failure, its own line at once.
		report.Failed(0x92, B_IO_ERROR);
		report.Failed(0x93, B_IO_ERROR);
		report.Failed(0x94, B_IO_ERROR);
		// Back: the repeats are told, and the next failure is a new one.
		report.Succeeded();
		report.Succeeded();
		report.Failed(0x95, B_IO_ERROR);
	});
	EXPECT_EQ(printed.out, "ERROR sending byte 90\nERROR sending byte 92\nERROR sending byte 95\n");
	EXPECT_EQ(printed.error,
	          "remote: sending failed 1 more time in the same way, the last byte 91\n"
	          "remote: sending failed 2 more times in the same way, the last byte 94\n");
}
