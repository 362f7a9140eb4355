#pragma once

// A looper with its own thread that keeps a copy of every message it receives, for the
// Application Kit's tests.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include <Looper.h>
#include <Message.h>

class RecordingLooper : public BLooper
{
public:
	explicit RecordingLooper(bool* deleted = nullptr) : BLooper("recorder"), fDeleted(deleted) {}
	~RecordingLooper() override
	{
		if (fDeleted != nullptr)
			*fDeleted = true;
	}

	void MessageReceived(BMessage* message) override
	{
		std::lock_guard<std::mutex> lock(fMutex);
		fReceived.push_back(*message);
		fChanged.notify_all();
	}

	// Waits (at most 10 s) until `count` messages have come.
	bool WaitForCount(size_t count)
	{
		std::unique_lock<std::mutex> lock(fMutex);
		return fChanged.wait_for(lock, std::chrono::seconds(10),
		                         [&] { return fReceived.size() >= count; });
	}

	std::vector<BMessage> Received()
	{
		std::lock_guard<std::mutex> lock(fMutex);
		return fReceived;
	}

private:
	bool* fDeleted;
	std::mutex fMutex;
	std::condition_variable fChanged;
	std::vector<BMessage> fReceived;
};
