// NSProcessInfo: the running process's arguments, name and environment, as
// read from the operating system.
//
//   +processInfo                 the one shared instance
//   -arguments                   NSArray of NSString, program name first
//   -processName                 the executable's base name without extension
//   -environment                 NSDictionary of NSString to NSString
//   -environmentValueForKey:     NSString, or nil when the variable is not set
//   -processIdentifier           int32_t
#pragma once

#include <string>
#include <vector>

#include "Foundation/NSObject.h"

// The process's arguments as C++ strings (what -arguments holds).
FOUNDATION_EXPORT std::vector<std::string> NSProcessInfoArguments();
// What -processName yields, as a C++ string.
FOUNDATION_EXPORT std::string NSProcessInfoProcessName();
// Replaces the arguments the OS reported, for programs that embed the
// framework with a command line of their own and for tests. Call it before
// anything reads the arguments (NSUserDefaults reads them once, when
// +standardUserDefaults is first sent); later calls do not change an
// -arguments array already handed out.
FOUNDATION_EXPORT void NSProcessInfoOverrideArguments(std::vector<std::string> arguments);
