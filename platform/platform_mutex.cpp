#include "platform_mutex.h"

#include <mutex>

struct PLATFORM_MUTEX::IMPL {
  std::mutex mutex;
};

PLATFORM_MUTEX::PLATFORM_MUTEX() : m_impl(new IMPL) {}

PLATFORM_MUTEX::~PLATFORM_MUTEX() {
  delete m_impl;
}

void PLATFORM_MUTEX::init() {
  if (!m_impl) m_impl = new IMPL;
}

void PLATFORM_MUTEX::lock() {
  init();
  m_impl->mutex.lock();
}

void PLATFORM_MUTEX::unlock() {
  if (m_impl) m_impl->mutex.unlock();
}

// The lock must not be held when it is destroyed; a later init() or lock()
// makes it usable again.
void PLATFORM_MUTEX::destroy() {
  delete m_impl;
  m_impl = nullptr;
}

PLATFORM_MUTEX& PLATFORM_MUTEX::writer_mutex() {
  static PLATFORM_MUTEX writer;
  return writer;
}
