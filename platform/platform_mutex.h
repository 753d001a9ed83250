#ifndef PLATFORM_MUTEX_H
#define PLATFORM_MUTEX_H

#include "sdr_export.h"

// A process-wide lock with the four operations of the host's mutex service.
class SDR_API PLATFORM_MUTEX {
 public:
  PLATFORM_MUTEX();
  ~PLATFORM_MUTEX();
  PLATFORM_MUTEX(const PLATFORM_MUTEX&) = delete;
  PLATFORM_MUTEX& operator=(const PLATFORM_MUTEX&) = delete;

  void init();
  void lock();
  void unlock();
  void destroy();

  // The lock that serialises document writers.
  static PLATFORM_MUTEX& writer_mutex();

 private:
  struct IMPL;
  IMPL* m_impl;
};

#endif
