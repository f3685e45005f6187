#include "platform/host.h"

#include <atomic>

namespace vantorel {

namespace {
std::atomic<Host*> g_host{nullptr};
}  // namespace

void SetHost(Host* host) { g_host.store(host, std::memory_order_release); }
Host* GetHost() { return g_host.load(std::memory_order_acquire); }

}  // namespace vantorel
