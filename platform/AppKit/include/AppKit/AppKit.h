// Everything the stand-in AppKit offers C++ callers, in one include.
#pragma once

#include "AppKit/NSApplication.h"
#include "AppKit/NSEvent.h"
#include "AppKit/NSPanel.h"
#include "AppKit/NSWindow.h"
