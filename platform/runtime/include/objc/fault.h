// Raise injection, for proving that code survives a raise from any send.
// A fault-capable build (CMake option CORVANE_FAULT_INJECTION, on in the
// asan preset) compiles a hook into every send (objc/message.h): once this
// thread's countdown is armed with n, the n-th eligible send on this thread
// calls the raiser instead of running, and the countdown is spent. Normal
// builds have no hook and their sends never count.
//
// Eligible: every send to a receiver that is not nil, super sends
// included, except these, which cannot raise in this framework: retain,
// release, autorelease, retainCount, dealloc and class. Nor can anything a
// dealloc sends: a raise that left a dealloc half done would leave an
// object that can be neither used nor freed, so NSObject's release holds
// the countdown while the dealloc it sends runs (objc_fault_hold).
#pragma once

#include "objc/objc.h"

// Raises (never returns). Called on the sending thread with the receiver
// and selector of the send it replaces; its own sends do not count.
using objc_fault_raiser = void (*)(id receiver, SEL sel);

// Arms this thread's countdown: the n-th eligible send from now on raises
// through raiser. n = 0 disarms.
OBJC_EXPORT void objc_fault_arm(long n, objc_fault_raiser raiser);
// Eligible sends still to come before the raise: 0 once it has fired, or
// when disarmed.
OBJC_EXPORT long objc_fault_remaining(void);
// Holds this thread's countdown: no send counts until objc_fault_resume
// puts back what this answered. Holds nest.
OBJC_EXPORT long objc_fault_hold(void);
OBJC_EXPORT void objc_fault_resume(long remaining);
// Whether the runtime was built fault-capable.
OBJC_EXPORT BOOL objc_fault_capable(void);
