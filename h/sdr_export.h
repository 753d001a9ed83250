#ifndef SDR_EXPORT_H
#define SDR_EXPORT_H

// Symbols of the shared library are hidden unless marked with SDR_API.
#if defined(_WIN32)
#if defined(SDR_BUILDING_LIBRARY)
#define SDR_API __declspec(dllexport)
#else
#define SDR_API __declspec(dllimport)
#endif
#else
#define SDR_API __attribute__((visibility("default")))
#endif

#define SDR_VERSION_STRING "0.1.0"

#endif
