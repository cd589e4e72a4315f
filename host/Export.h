#pragma once
// IECX_API marks a class or function of a module built with hidden visibility (the protocol
// stack and the simulated IED) as part of libiecx's public interface; everything else in those
// modules stays inside the library.
#if defined(__GNUC__) || defined(__clang__)
#define IECX_API __attribute__((visibility("default")))
#else
#define IECX_API
#endif
