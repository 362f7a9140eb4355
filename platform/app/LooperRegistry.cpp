#include "app/LooperRegistry.h"

#include <map>
#include <mutex>

namespace BPrivate {

namespace {

struct Registry
{
	std::mutex mutex;
	std::map<int32, BLooper*> loopers;
	int32 nextToken = 1;
};

// Never destroyed: loopers may outlive static destruction order (a looper in a static object).
Registry& TheRegistry()
{
	static Registry* registry = new Registry;
	return *registry;
}

} // namespace

namespace LooperRegistry {

int32 Register(BLooper* looper)
{
	Registry& registry = TheRegistry();
	std::lock_guard<std::mutex> lock(registry.mutex);
	int32 token = registry.nextToken++;
	registry.loopers[token] = looper;
	return token;
}

void Unregister(int32 token)
{
	Registry& registry = TheRegistry();
	std::lock_guard<std::mutex> lock(registry.mutex);
	registry.loopers.erase(token);
}

bool Use(int32 token, const std::function<void(BLooper*)>& use)
{
	Registry& registry = TheRegistry();
	std::lock_guard<std::mutex> lock(registry.mutex);
	auto found = registry.loopers.find(token);
	if (found == registry.loopers.end())
		return false;
	use(found->second);
	return true;
}

} // namespace LooperRegistry

} // namespace BPrivate
