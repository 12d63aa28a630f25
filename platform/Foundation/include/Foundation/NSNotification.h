// NSNotification (a name, a sender and optional details) and
// NSNotificationCenter, which delivers notifications synchronously to the
// observers registered for them.
#pragma once

#include "Foundation/NSObject.h"

// Instance layout of NSNotification.
struct NSNotificationLayout : NSObjectLayout {
  id name;       // NSString, copied
  id object;     // the sender, retained; may be nil
  id user_info;  // NSDictionary, retained; may be nil
};

// Instance layout of NSNotificationCenter.
struct NSNotificationCenterLayout : NSObjectLayout {
  void* observers;  // the registration list, created in init
};

// The process's default centre, for C++ callers.
FOUNDATION_EXPORT id NSDefaultNotificationCenter();
