// Invariant checks for debug builds. Without NDEBUG a failed check prints
// where and what failed and aborts, so a sanitizer or debugger shows the
// stack; with NDEBUG the condition is neither evaluated nor compiled in.
#pragma once

[[noreturn]] void assertion_failed(const char* file, int line, const char* condition);

#ifdef NDEBUG
#define ASSERT(cond) ((void)sizeof(!(cond)))
#else
#define ASSERT(cond) ((cond) ? (void)0 : assertion_failed(__FILE__, __LINE__, #cond))
#endif
