// The notifier against a real datagram socket, bound by the test where NOTIFY_SOCKET points.

#include "app/ServiceNotifier.h"

#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/FileDescriptor.h"
#include "support/NotifyListener.h"
#include "support/TempDirectory.h"

using BPrivate::ServiceNotifier;
using VelmoTest::NotifyListener;
using namespace std::chrono_literals;

namespace {

// NOTIFY_SOCKET as the case needs it, put back as it was afterwards.
class NotifySocketVariable
{
public:
	explicit NotifySocketVariable(const char* value)
	{
		const char* previous = getenv("NOTIFY_SOCKET");
		fHad = previous != NULL;
		if (fHad)
			fPrevious = previous;
		if (value != NULL)
			setenv("NOTIFY_SOCKET", value, 1);
		else
			unsetenv("NOTIFY_SOCKET");
	}
	~NotifySocketVariable()
	{
		if (fHad)
			setenv("NOTIFY_SOCKET", fPrevious.c_str(), 1);
		else
			unsetenv("NOTIFY_SOCKET");
	}

private:
	bool fHad;
	std::string fPrevious;
};

// Drives a notifier through a whole run and returns what the listener heard, in order. The last
// datagram, the quit, marks the end: everything before it has arrived once it has.
std::vector<std::string> WholeRun(NotifyListener& listener)
{
	NotifySocketVariable variable(listener.Address().c_str());
	ServiceNotifier notifier;
	EXPECT_TRUE(notifier.IsEnabled());
	notifier.WindowShown();
	notifier.WindowShown();
	notifier.TextsDrawn({});
	notifier.TextsDrawn({"Remove floppy   ", "Insert CD, ENTER"});
	notifier.TextsDrawn({"Remove floppy   ", "Insert CD, ENTER"});
	notifier.TextsDrawn({"Rebooting VELMO ", "  please wait   "});
	notifier.Quitting('DATA');
	notifier.TextsDrawn({"drawn after the quit"});
	notifier.Quitting('_QRQ');
	EXPECT_TRUE(listener.WaitFor("STOPPING=1\nSTATUS=Quitting on message 'DATA'", 10s));
	return listener.Datagrams();
}

const std::vector<std::string> kWholeRun = {
    "READY=1",
    "STATUS=Remove floppy / Insert CD, ENTER",
    "STATUS=Rebooting VELMO / please wait",
    "STOPPING=1\nSTATUS=Quitting on message 'DATA'",
};

} // namespace

TEST(ServiceNotifier, StatusIsTheDrawnTextsTrimmedAndJoinedOnOneLine)
{
	EXPECT_EQ(ServiceNotifier::StatusFor({"Remove floppy   ", "Insert CD, ENTER"}),
	          "Remove floppy / Insert CD, ENTER");
	EXPECT_EQ(ServiceNotifier::StatusFor({"Rebooting VELMO ", "  please wait   "}),
	          "Rebooting VELMO / please wait");
	EXPECT_EQ(ServiceNotifier::StatusFor({"   ", "", "only\tone"}), "only one");
	EXPECT_EQ(ServiceNotifier::StatusFor({"two\nlines"}), "two lines");
	EXPECT_EQ(ServiceNotifier::StatusFor({}), "");
}

TEST(ServiceNotifier, QuittingNamesTheMessageByItsCode)
{
	EXPECT_EQ(ServiceNotifier::QuittingStatus('DATA'), "Quitting on message 'DATA'");
	EXPECT_EQ(ServiceNotifier::QuittingStatus(0x01020304), "Quitting on message 0x01020304");
	EXPECT_EQ(ServiceNotifier::QuittingStatus(0), "Quitting");
}

TEST(ServiceNotifier, TellsReadyOnceEachNewStatusOnceAndTheQuitLast)
{
	VelmoTest::TempDirectory directory;
	NotifyListener listener(directory.Path());
	ASSERT_TRUE(listener.IsListening());
	EXPECT_EQ(WholeRun(listener), kWholeRun);
}

TEST(ServiceNotifier, ReachesASocketInTheAbstractNamespace)
{
	VelmoTest::TempDirectory directory;
	NotifyListener listener(directory.Path(), NotifyListener::Namespace::kAbstract);
	ASSERT_TRUE(listener.IsListening());
	ASSERT_EQ(listener.Address()[0], '@');
	EXPECT_EQ(WholeRun(listener), kWholeRun);
}

TEST(ServiceNotifier, TextDrawnBeforeTheWindowIsShownIsToldAfterReady)
{
	VelmoTest::TempDirectory directory;
	NotifyListener listener(directory.Path());
	ASSERT_TRUE(listener.IsListening());
	NotifySocketVariable variable(listener.Address().c_str());
	ServiceNotifier notifier;
	notifier.TextsDrawn({"first"});
	notifier.TextsDrawn({"Remove floppy   ", "Insert CD, ENTER"});
	notifier.WindowShown();
	notifier.TextsDrawn({"Remove floppy   ", "Insert CD, ENTER"});
	notifier.Quitting(0);
	ASSERT_TRUE(listener.WaitFor("STOPPING=1\nSTATUS=Quitting", 10s));
	EXPECT_EQ(listener.Datagrams(), (std::vector<std::string>{
	                                    "READY=1",
	                                    "STATUS=Remove floppy / Insert CD, ENTER",
	                                    "STOPPING=1\nSTATUS=Quitting",
	                                }));
}

TEST(ServiceNotifier, SendsNothingWithoutNotifySocket)
{
	VelmoTest::TempDirectory directory;
	NotifyListener listener(directory.Path());
	ASSERT_TRUE(listener.IsListening());
	NotifySocketVariable variable(NULL);
	ServiceNotifier notifier;
	EXPECT_FALSE(notifier.IsEnabled());
	notifier.WindowShown();
	notifier.TextsDrawn({"Remove floppy   ", "Insert CD, ENTER"});
	notifier.Quitting('DATA');

	// Proof that nothing was queued for the listener: a datagram sent now is the first it gets.
	{
		NotifySocketVariable reachable(listener.Address().c_str());
		ServiceNotifier witness;
		witness.WindowShown();
	}
	ASSERT_TRUE(listener.WaitForCount(1, 10s));
	EXPECT_EQ(listener.Datagrams(), std::vector<std::string>{"READY=1"});
}

TEST(ServiceNotifier, AnUnreachableSocketIsReportedOnceAndOtherwiseIgnored)
{
	VelmoTest::TempDirectory directory;
	NotifySocketVariable variable(directory.Join("nobody-listens").c_str());
	ServiceNotifier notifier;
	testing::internal::CaptureStderr();
	notifier.WindowShown();
	notifier.TextsDrawn({"Remove floppy   ", "Insert CD, ENTER"});
	notifier.Quitting('DATA');
	const std::string errors = testing::internal::GetCapturedStderr();
	EXPECT_EQ(errors, "service notification to " + directory.Join("nobody-listens") +
	                      " failed: No such file or directory\n");
}

TEST(ServiceNotifier, AManagerThatDoesNotReadNeverHoldsItUpAndLosesOnlyTheOldestStatuses)
{
	VelmoTest::TempDirectory directory;
	const std::string path = directory.Join("notify");
	BPrivate::FileDescriptor manager(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
	sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	snprintf(address.sun_path, sizeof(address.sun_path), "%s", path.c_str());
	ASSERT_EQ(bind(manager.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
	// Its queue filled up by another sender: a send that waits for room would wait for ever.
	BPrivate::FileDescriptor filler(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
	ASSERT_EQ(connect(filler.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)),
	          0);
	int filled = 0;
	while (send(filler.Get(), "x", 1, MSG_DONTWAIT) == 1)
		filled++;
	ASSERT_GT(filled, 0);

	NotifySocketVariable variable(path.c_str());
	std::vector<std::string> received;
	{
		ServiceNotifier notifier;
		testing::internal::CaptureStderr();
		notifier.WindowShown();
		for (int status = 1; status <= 12; status++)
			notifier.TextsDrawn({"status " + std::to_string(status)});
		notifier.Quitting('DATA');
		EXPECT_EQ(testing::internal::GetCapturedStderr(),
		          "service notification to " + path +
		              ": the manager does not read; the oldest waiting status is dropped\n");

		// The manager reads at last: what waited comes, in order.
		while (received.empty() || received.back().rfind("STOPPING=1", 0) != 0) {
			pollfd descriptor = {manager.Get(), POLLIN, 0};
			ASSERT_EQ(poll(&descriptor, 1, 10000), 1) << received.size() << " received";
			char buffer[256];
			const ssize_t length = recv(manager.Get(), buffer, sizeof(buffer), 0);
			ASSERT_GT(length, 0);
			if (filled > 0)
				filled--;
			else
				received.emplace_back(buffer, length);
		}
	}
	EXPECT_EQ(received, (std::vector<std::string>{
	                        "READY=1", "STATUS=status 7", "STATUS=status 8", "STATUS=status 9",
	                        "STATUS=status 10", "STATUS=status 11", "STATUS=status 12",
	                        "STOPPING=1\nSTATUS=Quitting on message 'DATA'"}));
}
