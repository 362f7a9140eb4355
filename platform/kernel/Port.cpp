#include "kernel/Port.h"

#include <stdio.h>
#include <string.h>

#include <memory>
#include <mutex>
#include <unordered_map>

#include "kernel/Thread.h"
#include "kernel/Time.h"

namespace BPrivate {

Port::Port(port_id id, int32 capacity, const char* name) : fId(id), fCapacity(capacity)
{
	snprintf(fName, sizeof(fName), "%s", name != nullptr ? name : "unnamed port");
}

void Port::Push(PortMessage&& message, Wakeups& wakeups)
{
	fMessages.push_back(std::move(message));
	PassOn(wakeups);
}

PortMessage Port::Pop(Wakeups& wakeups)
{
	PortMessage message = std::move(fMessages.front());
	fMessages.pop_front();
	PassOn(wakeups);
	return message;
}

void Port::PassOn(Wakeups& wakeups)
{
	if (!fMessages.empty())
		fReaders.WakeHead(B_OK, wakeups);
	if (!IsFull())
		fWriters.WakeHead(B_OK, wakeups);
}

void Port::WakeAllDeleted(Wakeups& wakeups)
{
	fReaders.WakeAll(B_BAD_PORT_ID, wakeups);
	fWriters.WakeAll(B_BAD_PORT_ID, wakeups);
}

namespace {

// Leaked with the kernel lock that guards it (see KernelLock).
struct PortRegistry
{
	std::unordered_map<port_id, std::unique_ptr<Port>> ports;
	port_id lastId = 0;
};

PortRegistry& Registry()
{
	static PortRegistry* registry = new PortRegistry;
	return *registry;
}

// Kernel lock held.
Port* FindPort(port_id id)
{
	auto found = Registry().ports.find(id);
	return found == Registry().ports.end() ? nullptr : found->second.get();
}

// Waits, kernel lock held through `lock`, until port `id` has a message; then `port` is set. A
// woken thread looks the port up again: it may have been deleted meanwhile.
status_t WaitForMessage(std::unique_lock<std::mutex>& lock, ThreadRecord* self, port_id id,
                        uint32 flags, bigtime_t timeout, bigtime_t deadline, Port*& port)
{
	for (;;) {
		port = FindPort(id);
		if (port == nullptr)
			return B_BAD_PORT_ID;
		if (!port->IsEmpty())
			return B_OK;
		// Unlike a semaphore or a full port, an empty port with no time to wait answers
		// B_TIMED_OUT: the key wait of the dialogue ends on that status alone.
		if (IsNonBlocking(flags, timeout))
			return B_TIMED_OUT;
		status_t status = Block(lock, self, &port->Readers(), deadline);
		if (status != B_OK)
			return status;
	}
}

} // namespace

} // namespace BPrivate

using namespace BPrivate;

port_id create_port(int32 capacity, const char* name)
{
	if (capacity < 1 || capacity > kMaxPortCapacity)
		return B_BAD_VALUE;
	CheckSuspension();
	std::lock_guard<std::mutex> lock(KernelLock());
	PortRegistry& registry = Registry();
	// Ids only grow: a stale id never names a newer port.
	if (registry.lastId == INT32_MAX)
		return B_NO_MORE_PORTS;
	port_id id = ++registry.lastId;
	registry.ports[id] = std::make_unique<Port>(id, capacity, name);
	return id;
}

status_t delete_port(port_id port)
{
	CheckSuspension();
	Wakeups wakeups;
	std::lock_guard<std::mutex> lock(KernelLock());
	Port* object = FindPort(port);
	if (object == nullptr)
		return B_BAD_PORT_ID;
	object->WakeAllDeleted(wakeups);
	Registry().ports.erase(port);
	return B_OK;
}

status_t write_port(port_id port, int32 code, const void* buffer, size_t bufferSize)
{
	return write_port_etc(port, code, buffer, bufferSize, 0, 0);
}

status_t write_port_etc(port_id port, int32 code, const void* buffer, size_t bufferSize,
                        uint32 flags, bigtime_t timeout)
{
	bigtime_t deadline = DeadlineFor(flags, timeout);
	CheckSuspension();
	if (bufferSize > kMaxPortMessageSize || (buffer == nullptr && bufferSize > 0))
		return B_BAD_VALUE;
	// Copied before taking the lock: a large body must not hold up every other thread.
	PortMessage message;
	message.code = code;
	message.body.assign(static_cast<const char*>(buffer),
	                    static_cast<const char*>(buffer) + bufferSize);

	ThreadRecord* self = CurrentThread();
	Wakeups wakeups;
	std::unique_lock<std::mutex> lock(KernelLock());
	for (;;) {
		Port* object = FindPort(port);
		if (object == nullptr)
			return B_BAD_PORT_ID;
		if (!object->IsFull()) {
			object->Push(std::move(message), wakeups);
			return B_OK;
		}
		if (IsNonBlocking(flags, timeout))
			return B_WOULD_BLOCK;
		status_t status = Block(lock, self, &object->Writers(), deadline);
		if (status != B_OK)
			return status;
	}
}

ssize_t read_port(port_id port, int32* code, void* buffer, size_t bufferSize)
{
	return read_port_etc(port, code, buffer, bufferSize, 0, 0);
}

ssize_t read_port_etc(port_id port, int32* code, void* buffer, size_t bufferSize, uint32 flags,
                      bigtime_t timeout)
{
	bigtime_t deadline = DeadlineFor(flags, timeout);
	CheckSuspension();
	if (buffer == nullptr && bufferSize > 0)
		return B_BAD_VALUE;

	ThreadRecord* self = CurrentThread();
	PortMessage message;
	{
		Wakeups wakeups;
		std::unique_lock<std::mutex> lock(KernelLock());
		Port* object = nullptr;
		status_t status = WaitForMessage(lock, self, port, flags, timeout, deadline, object);
		if (status != B_OK)
			return status;
		message = object->Pop(wakeups);
	}
	// The body is copied outside the lock; whatever does not fit the buffer is dropped.
	size_t size = message.body.size() < bufferSize ? message.body.size() : bufferSize;
	if (size > 0)
		memcpy(buffer, message.body.data(), size);
	if (code != nullptr)
		*code = message.code;
	return (ssize_t)size;
}

ssize_t port_buffer_size(port_id port)
{
	return port_buffer_size_etc(port, 0, 0);
}

ssize_t port_buffer_size_etc(port_id port, uint32 flags, bigtime_t timeout)
{
	bigtime_t deadline = DeadlineFor(flags, timeout);
	CheckSuspension();
	ThreadRecord* self = CurrentThread();
	Wakeups wakeups;
	std::unique_lock<std::mutex> lock(KernelLock());
	Port* object = nullptr;
	status_t status = WaitForMessage(lock, self, port, flags, timeout, deadline, object);
	if (status != B_OK)
		return status;
	// Nothing is taken: the next reader must still hear of the message.
	object->PassOn(wakeups);
	return (ssize_t)object->FrontSize();
}

ssize_t port_count(port_id port)
{
	std::lock_guard<std::mutex> lock(KernelLock());
	Port* object = FindPort(port);
	if (object == nullptr)
		return B_BAD_PORT_ID;
	return object->Count();
}
