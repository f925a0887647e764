// Calling conventions of the driver's interface tables. Slots after the three IUnknown
// methods are C++ member functions in the hosts' declarations: thiscall on x86 (this in
// ECX, callee pops the stack), the one x64 convention otherwise. The driver fills them
// with free functions whose first parameter stands for `this` and is never used.
#pragma once

#if defined(__i386__)
#define MEMBER_CALL __attribute__((thiscall))
#else
#define MEMBER_CALL
#endif
